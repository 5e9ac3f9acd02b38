#include "novumwifimonitor.h"

#include "logging.h"
#include "networkmanager.h"
#include "networkservice.h"
#include "networktechnology.h"
#include "novumbindertransaction.h"
#include "supplicantservice.h"
#include "wificondservice.h"
#include "wifiservice.h"
#include "wifinetworkregistration.h"

#include <memory>

namespace {
const char kServiceName[] = "novum.connectivity";
const char kInterface[] = "novum.connectivity.INovumConnectivityService";
const char kOnline[] = "online";
} // namespace

NovumWifiMonitor::NovumWifiMonitor(QObject *parent)
    : NovumBinderConnection(QLatin1String(kServiceName), QLatin1String(kInterface), true, parent)
{
    m_networkManager = new NetworkManager(this);
    m_wifiTechnology = new NetworkTechnology(NetworkManager::WifiTechnologyPath, QVariantMap(), this);
    m_supplicant = new SupplicantService(this);
    m_wifi = new WifiService(this);
    m_wifiCond = new WifiCondService(this);
    connect(m_networkManager, &NetworkManager::connectedWifiChanged, this, &NovumWifiMonitor::onConnectedWifiChanged);
    connect(this, &NovumBinderConnection::connectionChanged, this, &NovumWifiMonitor::onConnectionChanged);
}

NovumWifiMonitor::~NovumWifiMonitor() = default;

void NovumWifiMonitor::onConnectedWifiChanged()
{
    NetworkService *service = m_networkManager->connectedWifi();
    qCDebug(lcWifi) << "wifi connected:" << service;
    if (m_current)
        disconnect(m_current, nullptr, this, nullptr);
    m_current = service;
    if (service) {
        qCDebug(lcWifi).nospace() << "wifi service changed to [" << service->name() << "]";
        connect(service, &NetworkService::stateChanged, this, &NovumWifiMonitor::onServiceStateChanged);
        if (service->state() == QLatin1String(kOnline))
            registerNetwork();
    } else {
        unregisterNetwork();
    }
}

void NovumWifiMonitor::onServiceStateChanged(const QString &state)
{
    qCDebug(lcWifi) << "wifi state:" << state;
    if (state == QLatin1String(kOnline))
        registerNetwork();
}

void NovumWifiMonitor::onConnectionChanged(bool connected)
{
    qCDebug(lcWifi) << "service connected:" << (connected ? "true" : "false");
    if (connected && m_current && m_current->state() == QLatin1String(kOnline))
        registerNetwork();
}

void NovumWifiMonitor::registerNetwork()
{
    if (!m_current || !client())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(RegisterWifiNetworkCode, false));
    int status = -1;
    if (t) {
        WifiNetworkRegistration::fromService(*m_current).write(t->writer());
        status = t->execute();
    }
    if (status != 0)
        qCWarning(lcWifi) << "Failed to register wifi network";
}

void NovumWifiMonitor::unregisterNetwork()
{
    if (!client())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(UnregisterWifiNetworkCode, false));
    const int status = t ? t->execute() : -1;
    if (status != 0)
        qCWarning(lcWifi) << "Failed to unregister wifi network";
    // Android registers a new station callback when it next brings Wi-Fi up.
    m_supplicant->unregisterStaIfaceCallback();
}
