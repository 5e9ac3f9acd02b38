#pragma once

#include <QDBusMessage>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include "networkservice.h"

class QDBusPendingCallWatcher;
class QDBusServiceWatcher;

// The connection manager (connman, "net.connman" on the system bus) as a
// list of services in connman's order of preference, connected ones first.
// The list is read when the manager is created and whenever connman
// (re)appears on the bus, and follows connman's ServicesChanged and the
// services' PropertyChanged signals; all of it arrives asynchronously, so a
// new manager has no services until the event loop has run. Without
// connman on the bus there are no services and none is connected.
//
// Services are owned by the manager. One that connman drops is taken out
// of the list (and connectedWifiChanged() is emitted if it was the one)
// before it is deleted later from the event loop.
class NetworkManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool available READ isAvailable NOTIFY availabilityChanged)
    Q_PROPERTY(NetworkService *connectedWifi READ connectedWifi NOTIFY connectedWifiChanged)

public:
    // connman's object of the Wi-Fi technology.
    static const QString WifiTechnologyPath;

    explicit NetworkManager(QObject *parent = nullptr);
    ~NetworkManager() override;

    // connman is on the bus and has answered.
    bool isAvailable() const { return m_available; }
    // The services in connman's order; of one type ("wifi", ...) if given.
    QVector<NetworkService *> getServices(const QString &type = QString()) const;
    // The service at that path, or null.
    NetworkService *service(const QString &path) const;
    // The first Wi-Fi service in connman's order that is "ready" or
    // "online", or null.
    NetworkService *connectedWifi() const { return m_connectedWifi; }

signals:
    void availabilityChanged(bool available);
    void servicesChanged();
    void connectedWifiChanged();

private slots:
    void onServiceRegistered();
    void onServiceUnregistered();
    void onServicesReply(QDBusPendingCallWatcher *watcher);
    void onServicesChanged(const QDBusMessage &message);
    void onServicePropertyChanged(const QDBusMessage &message);

private:
    void requestServices();
    void setAvailable(bool available);
    // New order: ordered first, then the services known before that it
    // does not name, in their old order.
    void reorder(const QStringList &ordered);
    void removeServices(const QStringList &paths);
    void updateConnectedWifi();

    QDBusServiceWatcher *m_watcher = nullptr;
    QHash<QString, NetworkService *> m_services;
    QStringList m_order;
    QPointer<NetworkService> m_connectedWifi;
    bool m_available = false;
    // Bumped when connman leaves the bus: a reply to an older request is
    // about a connman that is gone.
    quint64 m_generation = 0;
};
