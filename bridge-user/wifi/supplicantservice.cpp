#include "supplicantservice.h"

#include "haldevice.h"
#include "halstatusreply.h"
#include "logging.h"
#include "macaddress.h"
#include "networkmanager.h"
#include "networkservice.h"
#include "novumbindercallbackclient.h"
#include "novumbindertransaction.h"
#include "wifirecords.h"

#include <QNetworkInfo>

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

using namespace ferry::binder;

namespace {

const char kSupplicant[] = "android.hardware.wifi.supplicant@1.0::ISupplicant";
const char kStaIface[] = "android.hardware.wifi.supplicant@1.0::ISupplicantStaIface";
const char kIface[] = "android.hardware.wifi.supplicant@1.0::ISupplicantIface";
const char kStaNetwork[] = "android.hardware.wifi.supplicant@1.0::ISupplicantStaNetwork";
const char kNetwork[] = "android.hardware.wifi.supplicant@1.0::ISupplicantNetwork";
const char kSupplicantCallback[] = "android.hardware.wifi.supplicant@1.0::ISupplicantCallback";
const char kStaIfaceCallback[] = "android.hardware.wifi.supplicant@1.0::ISupplicantStaIfaceCallback";
const char kInstance[] = "default_novum";

enum SupplicantStatusCode : uint32_t {
    Success = 0,
    FailureUnknown = 1,
};

enum State : int32_t {
    Disconnected = 1,
    Completed = 9,
};

constexpr int32_t kOnStateChanged = 3;
constexpr uint32_t kLastStaIfaceCode = 41;
constexpr uint32_t kLastNetworkCode = 72;

} // namespace

SupplicantService::SupplicantService(QObject *parent)
    : SupplicantService(halDevice(), parent)
{
}

SupplicantService::SupplicantService(const QString &device, QObject *parent)
    : QObject(parent)
    , m_networkManager(new NetworkManager(this))
    , m_networkInfo(new QNetworkInfo(this))
{
    m_manager = ServiceManager::get(device.toStdString(), Protocol::Hidl);
    if (!m_manager) {
        qCWarning(lcWifi) << "Unable to find Novum service manager for wifi supplicant service!";
        return;
    }
    const auto handler = [this](const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *reply) {
        return handle(request, code, reply);
    };
    m_supplicant = m_manager->newLocalObject(kSupplicant, handler);
    // Most derived first: that is what the object says it is.
    m_staIface = m_manager->newLocalObject(std::vector<std::string>{kStaIface, kIface}, handler);
    m_network = m_manager->newLocalObject(std::vector<std::string>{kStaNetwork, kNetwork}, handler);
    m_name = ServiceName::create(m_manager, m_supplicant, kInstance);
}

SupplicantService::~SupplicantService()
{
    m_name.reset();
    for (const auto &object : {m_supplicant, m_staIface, m_network}) {
        if (object)
            object->drop();
    }
    delete m_supplicantCallback;
    delete m_staIfaceCallback;
}

bool SupplicantService::isRegistered() const
{
    return m_name && m_name->isRegistered();
}

void SupplicantService::unregisterStaIfaceCallback()
{
    qCDebug(lcWifi) << "ferryd - supplicant - unregisterStaIfaceCallback";
    delete m_staIfaceCallback;
    m_staIfaceCallback = nullptr;
}

void SupplicantService::clientDied(NovumBinderCallbackClient *client)
{
    if (m_supplicantCallback == client)
        m_supplicantCallback = nullptr;
    if (m_staIfaceCallback == client)
        m_staIfaceCallback = nullptr;
}

Status SupplicantService::handle(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    const std::string &interface = request.interface();
    if (interface.empty()) {
        qCDebug(lcWifi) << "ferryd - supplicant - no interface?";
        return kStatusFailed;
    }
    qCDebug(lcWifi) << "ferryd - supplicant:" << interface.c_str();
    if (interface == kSupplicant)
        return handleSupplicant(request, code, reply);
    if (interface == kStaIface || interface == kIface)
        return handleStaIface(request, code, reply);
    if (interface == kStaNetwork || interface == kNetwork)
        return handleNetwork(request, code, reply);
    return kStatusFailed;
}

Status SupplicantService::handleSupplicant(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    switch (code) {
    case 1:   // getInterface: there is only the station interface
        return HalStatusReply::object(reply, m_staIface);
    case 2:   // listInterfaces
        HalStatusReply::status(reply, Success);
        if (reply)
            WifiRecords::appendStationIfaceInfos(reply->writer());
        return kStatusOk;
    case 3:   // registerCallback
        return storeCallback(&m_supplicantCallback, kSupplicantCallback, request, reply);
    case 4:   // setDebugParams
    case 8:   // setConcurrencyPriority
        return HalStatusReply::status(reply, Success);
    case 5:   // getDebugLevel
    case 6:   // isDebugShowTimestampEnabled
    case 7:   // isDebugShowKeysEnabled
        return HalStatusReply::unexpected(request, code, reply, FailureUnknown);
    default:
        return HalStatusReply::unknown(code);
    }
}

Status SupplicantService::handleStaIface(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    switch (code) {
    case 1:   // getName
        HalStatusReply::status(reply, Success);
        if (reply)
            reply->writer().appendHidlString("wlan0");
        return kStatusOk;
    case 3:   // addNetwork: every network is the one network object
        return HalStatusReply::object(reply, m_network);
    case 6: {   // listNetworks
        HalStatusReply::status(reply, Success);
        const uint32_t networkId = 0;
        if (reply)
            reply->writer().appendHidlVec(&networkId, 1, sizeof networkId);
        return kStatusOk;
    }
    case 14:   // registerCallback
        return storeCallback(&m_staIfaceCallback, kStaIfaceCallback, request, reply);
    case 24: {   // getMacAddress
        const QByteArray mac = macAddressBytes(m_networkInfo->macAddress(QNetworkInfo::WlanMode, 0));
        HalStatusReply::status(reply, Success);
        if (reply)
            reply->writer().appendBufferObject(mac.constData(), size_t(mac.size()), nullptr);
        return kStatusOk;
    }
    case 2:    // getType
    case 5:    // getNetwork
    case 19:   // initiateTdlsDiscover
    case 20:   // initiateTdlsSetup
    case 21:   // initiateTdlsTeardown
    case 22:   // initiateAnqpQuery
    case 23:   // initiateHs20IconQuery
    case 33:   // startWpsRegistrar
    case 34:   // startWpsPbc
    case 35:   // startWpsPinKeypad
    case 36:   // startWpsPinDisplay
    case 37:   // cancelWps
    case 39:   // addExtRadioWork
    case 40:   // removeExtRadioWork
        return HalStatusReply::unexpected(request, code, reply, FailureUnknown);
    default:
        if (code >= 1 && code <= kLastStaIfaceCode)
            return HalStatusReply::status(reply, Success);
        return HalStatusReply::unknown(code);
    }
}

Status SupplicantService::handleNetwork(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    if (code == 66) {   // select
        notifyWifiNetwork();
        return HalStatusReply::status(reply, Success);
    }
    // registerCallback, the setters, enable and disable: accepted, nothing kept.
    if ((code >= 4 && code <= 34) || code == 64 || code == 65)
        return HalStatusReply::status(reply, Success);
    // getId, getInterfaceName, getType, the getters, the EAP responses.
    if (code >= 1 && code <= kLastNetworkCode)
        return HalStatusReply::unexpected(request, code, reply, FailureUnknown);
    return HalStatusReply::unknown(code);
}

Status SupplicantService::storeCallback(NovumBinderCallbackClient **slot, const char *interface,
                                        const RemoteRequest &request, LocalReply *reply)
{
    Reader reader = request.reader();
    std::shared_ptr<RemoteObject> remote;
    if (!reader.readObject(&remote)) {
        qCWarning(lcWifi) << "No callback object in" << request.interface().c_str() << request.code();
        return kStatusFailed;
    }
    delete *slot;
    *slot = NovumBinderCallbackClient::create(this, remote, QString::fromLatin1(interface));
    return HalStatusReply::status(reply, Success);
}

void SupplicantService::notifyWifiNetwork()
{
    if (!m_staIfaceCallback) {
        qCCritical(lcWifi) << "could not notify about wifi network because mSupplicantStaIfaceCallback is null";
        return;
    }
    NetworkService *service = m_networkManager->connectedWifi();
    int32_t state = Disconnected;
    if (service && service->state() == QLatin1String("online")) {
        m_lastAddress = service->ethernet().value(QStringLiteral("Address")).toString().toLower();
        m_lastName = service->name();
        state = Completed;
    }
    qCDebug(lcWifi) << "ferryd - supplicant - notifyWifiNetwork " << m_lastName;

    NovumBinderTransaction *transaction = m_staIfaceCallback->newTransaction(kOnStateChanged, true);
    if (!transaction)
        return;
    Writer &writer = *transaction->writer().writer();
    writer.appendInt32(state);
    const QByteArray bssid = macAddressBytes(m_lastAddress);
    writer.appendBufferObject(bssid.constData(), size_t(bssid.size()), nullptr);
    writer.appendInt32(0);   // network id
    const QByteArray ssid = m_lastName.toUtf8();
    writer.appendHidlVec(ssid.constData(), size_t(ssid.size()), 1);
    const int status = transaction->execute();
    if (status != 0)
        qCWarning(lcWifi) << "onStateChanged failed:" << status;
    delete transaction;
}
