#pragma once

#include "networkservice.h"
#include "novumbinderconnection.h"

#include <QPointer>
#include <QString>

class NetworkManager;
class NetworkTechnology;
class SupplicantService;
class WifiService;
class WifiCondService;

// Makes Android believe it is on Wi-Fi while the host is on a Wi-Fi
// network that is "online": the connection manager's connected Wi-Fi
// service is registered with Android's "novum.connectivity" (code 1) and
// withdrawn (code 2) when the host leaves Wi-Fi, when the supplicant also
// forgets Android's station callback. Registering again after Android's
// side comes back keeps it told across its restarts. The monitor owns the
// Wi-Fi supplicant, vendor HAL and wificond services.
class NovumWifiMonitor : public NovumBinderConnection
{
    Q_OBJECT

public:
    enum Code {
        RegisterWifiNetworkCode = 1,
        UnregisterWifiNetworkCode = 2,
    };

    explicit NovumWifiMonitor(QObject *parent = nullptr);
    ~NovumWifiMonitor() override;

    // The connected Wi-Fi service being followed, or null.
    NetworkService *currentService() const { return m_current; }

public slots:
    void onConnectedWifiChanged();
    void onServiceStateChanged(const QString &state);
    void onConnectionChanged(bool connected);

private:
    void registerNetwork();
    void unregisterNetwork();

    NetworkManager *m_networkManager = nullptr;
    NetworkTechnology *m_wifiTechnology = nullptr;
    // Owned by the network manager, which may drop it: guarded.
    QPointer<NetworkService> m_current;
    // Children created after the connection manager objects, in this
    // order: the supplicant HAL, the Wi-Fi HAL and wificond.
    SupplicantService *m_supplicant = nullptr;
    WifiService *m_wifi = nullptr;
    WifiCondService *m_wifiCond = nullptr;
};
