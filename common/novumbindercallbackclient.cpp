#include "novumbindercallbackclient.h"

#include "novumbindercallbackclientdeathhandler.h"
#include "novumbindertransaction.h"

#include <ferry/binder/client.h>
#include <ferry/binder/remote_object.h>

#include <QPointer>

NovumBinderCallbackClient *NovumBinderCallbackClient::create(
    NovumBinderCallbackClientDeathHandler *deathHandler,
    const std::shared_ptr<ferry::binder::RemoteObject> &remote, const QString &interfaceDescriptor)
{
    if (!remote)
        return nullptr;
    return new NovumBinderCallbackClient(deathHandler, remote, interfaceDescriptor);
}

NovumBinderCallbackClient::NovumBinderCallbackClient(
    NovumBinderCallbackClientDeathHandler *deathHandler,
    const std::shared_ptr<ferry::binder::RemoteObject> &remote, const QString &interfaceDescriptor)
    : QObject(nullptr)
    , m_deathHandler(deathHandler)
    , m_remote(remote)
{
    m_client = ferry::binder::Client::create(m_remote, interfaceDescriptor.toStdString());
    QPointer<NovumBinderCallbackClient> self(this);
    const auto died = [self] {
        // Out of the binder library's callback first: the handler may well
        // call back into it.
        if (self)
            QMetaObject::invokeMethod(self, [self] {
                if (self)
                    self->onRemoteDied();
            }, Qt::QueuedConnection);
    };
    m_deathHandlerId = m_remote->addDeathHandler(died);
    // An object that was dead on arrival gets no notification of its own.
    if (m_remote->isDead())
        died();
}

NovumBinderCallbackClient::~NovumBinderCallbackClient()
{
    m_client.reset();
    if (m_deathHandlerId)
        m_remote->removeHandler(m_deathHandlerId);
    m_remote.reset();
}

NovumBinderTransaction *NovumBinderCallbackClient::newTransaction(int32_t code, bool oneway)
{
    if (!m_client)
        return nullptr;
    auto *transaction = new NovumBinderTransaction(m_client, code, oneway, this);
    connect(this, &NovumBinderCallbackClient::onConnectionChanged, transaction,
            &NovumBinderTransaction::onConnectionChanged);
    return transaction;
}

void NovumBinderCallbackClient::onRemoteDied()
{
    if (m_died)
        return;
    m_died = true;
    if (m_deathHandler)
        m_deathHandler->clientDied(this);
    emit onConnectionChanged(false);
    m_client.reset();
    deleteLater();
}
