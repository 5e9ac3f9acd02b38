#include "wifiservice.h"

#include "haldevice.h"
#include "halstatusreply.h"
#include "logging.h"
#include "novumbindercallbackclient.h"
#include "wifirecords.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

using namespace ferry::binder;

namespace {

const char kWifi[] = "android.hardware.wifi@1.0::IWifi";
const char kChip[] = "android.hardware.wifi@1.0::IWifiChip";
const char kStaIface[] = "android.hardware.wifi@1.0::IWifiStaIface";
const char kIface[] = "android.hardware.wifi@1.0::IWifiIface";
const char kRtt[] = "android.hardware.wifi@1.0::IWifiRttController";
const char kInstance[] = "default_novum";

const char *const kCallbackInterfaces[] = {
    "android.hardware.wifi@1.0::IWifiEventCallback",
    "android.hardware.wifi@1.0::IWifiChipEventCallback",
    "android.hardware.wifi@1.0::IWifiStaIfaceEventCallback",
    "android.hardware.wifi@1.0::IWifiRttControllerEventCallback",
};

enum WifiStatusCode : uint32_t {
    Success = 0,
    NotSupported = 4,
};

constexpr uint32_t kStationType = 0;
constexpr uint32_t kStaCapability5Ghz = 128;

Status replyUint32(LocalReply *reply, uint32_t value)
{
    HalStatusReply::status(reply, Success);
    if (reply)
        reply->writer().appendUint32(value);
    return kStatusOk;
}

Status replyEmptyVector(LocalReply *reply, uint32_t code)
{
    HalStatusReply::status(reply, code);
    if (reply)
        WifiRecords::appendEmptyVector(reply->writer());
    return kStatusOk;
}

} // namespace

WifiService::WifiService(QObject *parent)
    : WifiService(halDevice(), parent)
{
}

WifiService::WifiService(const QString &device, QObject *parent)
    : QObject(parent)
{
    m_manager = ServiceManager::get(device.toStdString(), Protocol::Hidl);
    if (!m_manager) {
        qCWarning(lcWifi) << "Unable to find Novum service manager for wifi service!";
        return;
    }
    const auto handler = [this](const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *reply) {
        return handle(request, code, reply);
    };
    m_wifi = m_manager->newLocalObject(kWifi, handler);
    m_chip = m_manager->newLocalObject(kChip, handler);
    // Android calls the methods a station interface inherits with the
    // parent's descriptor.
    m_staIface = m_manager->newLocalObject(std::vector<std::string>{kStaIface, kIface}, handler);
    m_rtt = m_manager->newLocalObject(kRtt, handler);
    m_name = ServiceName::create(m_manager, m_wifi, kInstance);
}

WifiService::~WifiService()
{
    m_name.reset();
    for (const auto &object : {m_wifi, m_chip, m_staIface, m_rtt}) {
        if (object)
            object->drop();
    }
    for (NovumBinderCallbackClient *&client : m_callbacks) {
        delete client;
        client = nullptr;
    }
}

bool WifiService::isRegistered() const
{
    return m_name && m_name->isRegistered();
}

void WifiService::clientDied(NovumBinderCallbackClient *client)
{
    for (NovumBinderCallbackClient *&slot : m_callbacks) {
        if (slot == client)
            slot = nullptr;
    }
}

Status WifiService::handle(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    const std::string &interface = request.interface();
    if (interface.empty()) {
        qCDebug(lcWifi) << "ferryd -no interface?";
        return kStatusFailed;
    }
    qCDebug(lcWifi) << "ferryd -" << interface.c_str() << ":";
    if (interface == kWifi)
        return handleWifi(request, code, reply);
    if (interface == kChip)
        return handleChip(request, code, reply);
    if (interface == kStaIface || interface == kIface)
        return handleStaIface(request, code, reply);
    if (interface == kRtt)
        return handleRtt(request, code, reply);
    return kStatusFailed;
}

Status WifiService::handleWifi(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    switch (code) {
    case 1:   // registerEventCallback
        return storeCallback(WifiEvents, request, reply);
    case 2:   // isStarted: a bare bool, no WifiStatus
        if (reply) {
            reply->writer().appendInt32(kStatusOk);
            reply->writer().appendInt8(1);
        }
        return kStatusOk;
    case 3:   // start
    case 4:   // stop
        return HalStatusReply::status(reply, Success);
    case 5: {   // getChipIds
        HalStatusReply::status(reply, Success);
        const uint32_t chipId = 0;
        if (reply)
            reply->writer().appendHidlVec(&chipId, 1, sizeof chipId);
        return kStatusOk;
    }
    case 6:   // getChip; there is only one, whatever id is asked for
        return HalStatusReply::object(reply, m_chip);
    default:
        return HalStatusReply::unknown(code);
    }
}

Status WifiService::handleChip(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    switch (code) {
    case 2:   // registerEventCallback
        return storeCallback(ChipEvents, request, reply);
    case 3:   // getCapabilities
    case 6:   // getMode
        return replyUint32(reply, 0);
    case 4:   // getAvailableModes
        HalStatusReply::status(reply, Success);
        if (reply)
            WifiRecords::appendChipModes(reply->writer());
        return kStatusOk;
    case 7:   // requestChipDebugInfo
        HalStatusReply::status(reply, Success);
        if (reply)
            WifiRecords::appendChipDebugInfo(reply->writer());
        return kStatusOk;
    case 11:   // getApIfaceNames
    case 15:   // getNanIfaceNames
    case 19:   // getP2pIfaceNames
    case 23:   // getStaIfaceNames
    case 27:   // getDebugRingBuffersStatus
        return replyEmptyVector(reply, Success);
    case 12:   // getApIface
    case 16:   // getNanIface
    case 20:   // getP2pIface
        return HalStatusReply::object(reply, nullptr);
    case 22:   // createStaIface
    case 24:   // getStaIface
        return HalStatusReply::object(reply, m_staIface);
    case 25:   // removeStaIface
    case 32:   // enableDebugErrorAlerts
        return HalStatusReply::status(reply, Success);
    case 26:   // createRttController
        return HalStatusReply::object(reply, m_rtt);
    case 31:   // getDebugHostWakeReasonStats
        return HalStatusReply::status(reply, NotSupported);
    case 17:   // removeNanIface
    case 18:   // createP2pIface
        qCCritical(lcWifi) << "Unexpected transaction code:" << request.interface().c_str() << code;
        return kStatusFailed;
    case 1:    // getId
    case 5:    // configureChip
    case 8:    // requestDriverDebugDump
    case 9:    // requestFirmwareDebugDump
    case 10:   // createApIface
    case 13:   // removeApIface
    case 14:   // createNanIface
    case 21:   // removeP2pIface
    case 28:   // startLoggingToDebugRingBuffer
    case 29:   // forceDumpToDebugRingBuffer
    case 30:   // stopLoggingToDebugRingBuffer
        return HalStatusReply::unexpected(request, code, reply, NotSupported);
    default:
        return HalStatusReply::unknown(code);
    }
}

Status WifiService::handleStaIface(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    switch (code) {
    case 1:   // getType
        return replyUint32(reply, kStationType);
    case 2:   // getName
        HalStatusReply::status(reply, Success);
        if (reply)
            reply->writer().appendHidlString("wlan0");
        return kStatusOk;
    case 3:   // registerEventCallback
        return storeCallback(StaIfaceEvents, request, reply);
    case 4:   // getCapabilities
        return replyUint32(reply, kStaCapability5Ghz);
    case 7: {   // getBackgroundScanCapabilities
        HalStatusReply::status(reply, NotSupported);
        const uint8_t capabilities[WifiRecords::kBackgroundScanCapabilitiesSize] = {};
        if (reply)
            reply->writer().appendBufferObject(capabilities, sizeof capabilities, nullptr);
        return kStatusOk;
    }
    case 8:    // getValidFrequenciesForBand
    case 24:   // getDebugTxPacketFates
    case 25:   // getDebugRxPacketFates
        return replyEmptyVector(reply, NotSupported);
    case 11:   // enableLinkLayerStatsCollection
    case 12:   // disableLinkLayerStatsCollection
    case 14:   // startRssiMonitoring
    case 15:   // stopRssiMonitoring
    case 23:   // startDebugPacketFateMonitoring
        return HalStatusReply::status(reply, NotSupported);
    case 13:   // getLinkLayerStats
        HalStatusReply::status(reply, Success);
        if (reply)
            WifiRecords::appendLinkLayerStats(reply->writer());
        return kStatusOk;
    case 22:   // setScanningMacOui
        return HalStatusReply::status(reply, Success);
    case 5:    // getApfPacketFilterCapabilities
    case 6:    // installApfPacketFilter
    case 9:    // startBackgroundScan
    case 10:   // stopBackgroundScan
    case 16:   // getRoamingCapabilities
    case 17:   // configureRoaming
    case 18:   // setRoamingState
    case 19:   // enableNdOffload
    case 20:   // startSendingKeepAlivePackets
    case 21:   // stopSendingKeepAlivePackets
        return HalStatusReply::unexpected(request, code, reply, NotSupported);
    default:
        return HalStatusReply::unknown(code);
    }
}

Status WifiService::handleRtt(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    if (code == 2)   // registerEventCallback
        return storeCallback(RttEvents, request, reply);
    if (code >= 1 && code <= 10)
        return HalStatusReply::unexpected(request, code, reply, NotSupported);
    return HalStatusReply::unknown(code);
}

Status WifiService::storeCallback(CallbackKind kind, const RemoteRequest &request, LocalReply *reply)
{
    Reader reader = request.reader();
    std::shared_ptr<RemoteObject> remote;
    // A request without an object in it is malformed; a null object is
    // Android letting go of its callback.
    if (!reader.readObject(&remote)) {
        qCWarning(lcWifi) << "No callback object in" << request.interface().c_str() << request.code();
        return kStatusFailed;
    }
    delete m_callbacks[kind];
    m_callbacks[kind] = NovumBinderCallbackClient::create(this, remote,
                                                          QString::fromLatin1(kCallbackInterfaces[kind]));
    return HalStatusReply::status(reply, Success);
}
