#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QTimer;
class NovumBinderCallback;
class NovumBinderRequestHandler;
class NovumBinderTransaction;

namespace ferry::binder {
class Client;
class RemoteObject;
class ServiceManager;
}

// Client side of one named Android service on "/dev/vororoveredi",
// following the runtime's life (ServiceController).
//
// keepConnected: connects as soon as the runtime is "active" and the name
// is registered, and reconnects after the service dies. Otherwise the
// connection is made on first use (client(), newTransaction()) and dropped
// 5 s later; the next use connects again. Either way everything is released
// when the runtime is "deactivating".
class NovumBinderConnection : public QObject
{
    Q_OBJECT

public:
    NovumBinderConnection(const QString &serviceName, const QString &interfaceDescriptor,
                          bool keepConnected, QObject *parent = nullptr);
    ~NovumBinderConnection() override;

    QString serviceName() const;
    QString interfaceDescriptor() const { return m_interface; }
    bool keepConnected() const { return m_keepConnected; }
    bool isConnected() const { return m_client != nullptr; }

    // The binder client, connecting first if needed; null when the service
    // cannot be reached.
    std::shared_ptr<ferry::binder::Client> client();

    // A new transaction on the client, owned by this connection (delete it
    // once its reply is read); null when the service cannot be reached.
    NovumBinderTransaction *newTransaction(int32_t code, bool oneway);

    // A new local object for Android to call back, owned by this connection
    // and dropped when the connection goes; null when the service cannot be
    // reached.
    NovumBinderCallback *newCallback(const QString &interfaceDescriptor,
                                     NovumBinderRequestHandler *handler);

signals:
    void connectionChanged(bool connected);

private slots:
    void onServiceStateChanged();
    void onTimeout();

private:
    void connectToService();
    bool attemptConnection();
    void disconnectFromService(bool keepServiceManager);
    void onRemoteDied();
    void onServiceRegistered();

    std::shared_ptr<ferry::binder::RemoteObject> m_remote;
    unsigned long m_deathHandlerId = 0;
    unsigned long m_registrationHandlerId = 0;
    const QString m_serviceName;
    const QString m_interface;
    const bool m_keepConnected;
    QTimer *m_dropTimer = nullptr;
    std::shared_ptr<ferry::binder::ServiceManager> m_serviceManager;
    std::shared_ptr<ferry::binder::Client> m_client;
};
