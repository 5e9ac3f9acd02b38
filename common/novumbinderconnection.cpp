#include "novumbinderconnection.h"

#include "logging.h"
#include "novumbindercallback.h"
#include "novumbindertransaction.h"
#include "servicecontroller.h"

#include <ferry/binder/client.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/service_manager.h>

#include <QPointer>
#include <QTimer>

namespace {
const char kDevice[] = "/dev/vororoveredi";
const int kDropInterval = 5000;
}

NovumBinderConnection::NovumBinderConnection(const QString &serviceName,
                                             const QString &interfaceDescriptor,
                                             bool keepConnected, QObject *parent)
    : QObject(parent)
    , m_serviceName(serviceName)
    , m_interface(interfaceDescriptor)
    , m_keepConnected(keepConnected)
    , m_dropTimer(new QTimer(this))
{
    m_dropTimer->setSingleShot(true);
    m_dropTimer->setInterval(kDropInterval);
    ServiceController *controller = ServiceController::instance();
    connect(controller, &ServiceController::serviceStateChanged, this,
            &NovumBinderConnection::onServiceStateChanged);
    connect(m_dropTimer, &QTimer::timeout, this, &NovumBinderConnection::onTimeout);
    onServiceStateChanged();
}

NovumBinderConnection::~NovumBinderConnection()
{
    qCDebug(lcBinder) << "Destroying" << m_serviceName << "connection";
    disconnectFromService(false);
}

QString NovumBinderConnection::serviceName() const
{
    return m_serviceName;
}

std::shared_ptr<ferry::binder::Client> NovumBinderConnection::client()
{
    if (!m_client && m_serviceManager)
        attemptConnection();
    return m_client;
}

NovumBinderTransaction *NovumBinderConnection::newTransaction(int32_t code, bool oneway)
{
    const std::shared_ptr<ferry::binder::Client> c = client();
    if (!c)
        return nullptr;
    auto *transaction = new NovumBinderTransaction(c, code, oneway, this);
    connect(this, &NovumBinderConnection::connectionChanged, transaction,
            &NovumBinderTransaction::onConnectionChanged);
    return transaction;
}

NovumBinderCallback *NovumBinderConnection::newCallback(const QString &interfaceDescriptor,
                                                        NovumBinderRequestHandler *handler)
{
    if (!client())
        return nullptr;
    auto *callback = new NovumBinderCallback(m_serviceManager, interfaceDescriptor, handler, this);
    connect(this, &NovumBinderConnection::connectionChanged, callback,
            &NovumBinderCallback::onConnectionChanged);
    return callback;
}

void NovumBinderConnection::onServiceStateChanged()
{
    const QString state = ServiceController::instance()->serviceState();
    if (state == QLatin1String("active"))
        connectToService();
    else if (state == QLatin1String("deactivating"))
        disconnectFromService(false);
}

void NovumBinderConnection::onTimeout()
{
    qCDebug(lcBinder) << "Timing out" << m_serviceName;
    disconnectFromService(true);
}

void NovumBinderConnection::connectToService()
{
    if (!m_serviceManager) {
        m_serviceManager = ferry::binder::ServiceManager::get(kDevice);
        if (!m_serviceManager) {
            qCCritical(lcBinder) << "Could not get service manager for" << m_serviceName;
            disconnectFromService(false);
            return;
        }
    }
    // Already connected or waiting for the name: a repeated "active" must
    // not stack a second watch or a second death handler.
    if (m_registrationHandlerId || m_client)
        return;
    if (!m_keepConnected)
        return;

    qCDebug(lcBinder) << "Connecting to Novum service:" << m_serviceName;
    QPointer<NovumBinderConnection> self(this);
    m_registrationHandlerId = m_serviceManager->addRegistrationHandler(
        m_serviceName.toStdString(), [self](const std::string &) {
            // Leave the service manager's callback before touching its
            // watches.
            if (self)
                QMetaObject::invokeMethod(self, [self] {
                    if (self)
                        self->onServiceRegistered();
                }, Qt::QueuedConnection);
        });
    attemptConnection();
}

void NovumBinderConnection::onServiceRegistered()
{
    if (m_registrationHandlerId && !m_client)
        attemptConnection();
}

bool NovumBinderConnection::attemptConnection()
{
    if (m_client)
        return true;
    const std::shared_ptr<ferry::binder::RemoteObject> remote =
        m_serviceManager->getServiceSync(m_serviceName.toStdString());
    if (!remote || remote->isDead()) {
        qCDebug(lcBinder) << "Could not find remote object for" << m_serviceName;
        return false;
    }

    m_remote = remote;
    qCDebug(lcBinder) << "Connected to Novum Service" << m_serviceName;
    QPointer<NovumBinderConnection> self(this);
    m_deathHandlerId = m_remote->addDeathHandler([self] {
        if (self)
            QMetaObject::invokeMethod(self, [self] {
                if (self)
                    self->onRemoteDied();
            }, Qt::QueuedConnection);
    });

    m_client = ferry::binder::Client::create(m_remote, m_interface.toStdString());
    if (!m_client) {
        qCDebug(lcBinder) << "Could not create client for" << m_serviceName;
        disconnectFromService(true);
        return false;
    }

    if (m_registrationHandlerId) {
        m_serviceManager->removeHandler(m_registrationHandlerId);
        m_registrationHandlerId = 0;
    }
    if (!m_keepConnected)
        m_dropTimer->start();
    emit connectionChanged(true);
    return true;
}

void NovumBinderConnection::onRemoteDied()
{
    // A death queued before a disconnect may arrive after it.
    if (!m_remote || !m_remote->isDead())
        return;
    qCWarning(lcBinder) << m_serviceName << "died! Trying to reconnect.";
    disconnectFromService(true);
    connectToService();
}

void NovumBinderConnection::disconnectFromService(bool keepServiceManager)
{
    m_dropTimer->stop();
    m_client.reset();
    emit connectionChanged(false);
    if (m_remote) {
        if (m_deathHandlerId)
            m_remote->removeHandler(m_deathHandlerId);
        m_remote.reset();
    }
    m_deathHandlerId = 0;
    if (m_registrationHandlerId) {
        if (m_serviceManager)
            m_serviceManager->removeHandler(m_registrationHandlerId);
        m_registrationHandlerId = 0;
    }
    if (!keepServiceManager)
        m_serviceManager.reset();
}
