#pragma once

#include "novumbindercallbackclientdeathhandler.h"

#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

class NetworkManager;
class NovumBinderCallbackClient;
class QNetworkInfo;

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
class ServiceManager;
class ServiceName;
} // namespace ferry::binder

// Android's Wi-Fi supplicant HAL (ISupplicant 1.0) with the station
// interface "wlan0" and one network object. It accepts whatever Android
// configures; when Android selects a network it tells the station
// interface callback that the host's current Wi-Fi network is connected.
// ISupplicant is registered as "default_novum" on the HAL device.
class SupplicantService : public QObject, public NovumBinderCallbackClientDeathHandler
{
    Q_OBJECT
public:
    explicit SupplicantService(QObject *parent = nullptr);
    SupplicantService(const QString &device, QObject *parent);
    ~SupplicantService() override;

    bool isRegistered() const;
    NovumBinderCallbackClient *supplicantCallback() const { return m_supplicantCallback; }
    NovumBinderCallbackClient *staIfaceCallback() const { return m_staIfaceCallback; }

    // The host left Wi-Fi: Android hears nothing more until it registers a
    // new station interface callback.
    void unregisterStaIfaceCallback();

    void clientDied(NovumBinderCallbackClient *client) override;

private:
    ferry::binder::Status handle(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply);
    ferry::binder::Status handleSupplicant(const ferry::binder::RemoteRequest &request, uint32_t code,
                                           ferry::binder::LocalReply *reply);
    ferry::binder::Status handleStaIface(const ferry::binder::RemoteRequest &request, uint32_t code,
                                         ferry::binder::LocalReply *reply);
    ferry::binder::Status handleNetwork(const ferry::binder::RemoteRequest &request, uint32_t code,
                                        ferry::binder::LocalReply *reply);
    ferry::binder::Status storeCallback(NovumBinderCallbackClient **slot, const char *interface,
                                        const ferry::binder::RemoteRequest &request,
                                        ferry::binder::LocalReply *reply);
    void notifyWifiNetwork();

    NetworkManager *m_networkManager = nullptr;
    QNetworkInfo *m_networkInfo = nullptr;
    QString m_lastName;
    QString m_lastAddress = QStringLiteral("00:00:00:00:00:00");

    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::LocalObject> m_supplicant;
    std::shared_ptr<ferry::binder::LocalObject> m_staIface;
    std::shared_ptr<ferry::binder::LocalObject> m_network;
    std::shared_ptr<ferry::binder::ServiceName> m_name;
    NovumBinderCallbackClient *m_supplicantCallback = nullptr;
    NovumBinderCallbackClient *m_staIfaceCallback = nullptr;
};
