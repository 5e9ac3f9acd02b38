#pragma once

#include <QObject>
#include <QString>

#include <memory>

class NovumBinderCallbackClientDeathHandler;
class NovumBinderTransaction;

namespace ferry::binder {
class Client;
class RemoteObject;
}

// Calls an object that Android handed over in a transaction (a callback,
// a listener). When that object dies the death handler is told, every
// transaction made here loses its client, and this client deletes itself.
class NovumBinderCallbackClient : public QObject
{
    Q_OBJECT

public:
    // Null for a null remote object. The result has no parent.
    static NovumBinderCallbackClient *create(NovumBinderCallbackClientDeathHandler *deathHandler,
                                             const std::shared_ptr<ferry::binder::RemoteObject> &remote,
                                             const QString &interfaceDescriptor);
    ~NovumBinderCallbackClient() override;

    std::shared_ptr<ferry::binder::RemoteObject> remote() const { return m_remote; }
    std::shared_ptr<ferry::binder::Client> client() const { return m_client; }

    // A new transaction, child of this client; null without a client.
    NovumBinderTransaction *newTransaction(int32_t code, bool oneway);

signals:
    void onConnectionChanged(bool connected);

private:
    NovumBinderCallbackClient(NovumBinderCallbackClientDeathHandler *deathHandler,
                              const std::shared_ptr<ferry::binder::RemoteObject> &remote,
                              const QString &interfaceDescriptor);
    void onRemoteDied();

    NovumBinderCallbackClientDeathHandler *m_deathHandler = nullptr;
    std::shared_ptr<ferry::binder::RemoteObject> m_remote;
    std::shared_ptr<ferry::binder::Client> m_client;
    unsigned long m_deathHandlerId = 0;
    bool m_died = false;
};
