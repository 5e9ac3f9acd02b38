#include "wificondservice.h"

#include "logging.h"
#include "networkmanager.h"
#include "networkservice.h"
#include "runtimeproperties.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

using namespace ferry::binder;

namespace {

const char kWificond[] = "android.net.wifi.IWificond";
const char kClientInterface[] = "android.net.wifi.IClientInterface";
const char kScanner[] = "android.net.wifi.IWifiScannerImpl";
const char kName[] = "wificond";

// Plain AIDL replies: the exception word, then the result.
Status replyEmpty(LocalReply *reply)
{
    if (reply)
        reply->writer().appendInt32(0);
    return kStatusOk;
}

Status replyBool(LocalReply *reply, bool value)
{
    if (reply) {
        reply->writer().appendInt32(0);
        reply->writer().appendBool(value);
    }
    return kStatusOk;
}

Status replyObject(LocalReply *reply, const std::shared_ptr<LocalObject> &object)
{
    if (reply) {
        reply->writer().appendInt32(0);
        reply->writer().appendLocalObject(object);
    }
    return kStatusOk;
}

// An empty array as AIDL writes one (int32 count 0); the HIDL vector form
// would be read here as a count of 0x70742a85 elements.
Status replyEmptyList(LocalReply *reply)
{
    if (reply) {
        reply->writer().appendInt32(0);
        reply->writer().appendInt32(0);
    }
    return kStatusOk;
}

Status unexpected(const RemoteRequest &request, uint32_t code)
{
    qCCritical(lcWifi) << "Unexpected transaction code:" << request.interface().c_str() << code;
    return kStatusFailed;
}

Status unknown(uint32_t code)
{
    qCCritical(lcWifi) << "Unknown code (" << code << ")";
    return kStatusFailed;
}

} // namespace

WifiCondService::WifiCondService(QObject *parent)
    : WifiCondService(QStringLiteral("/dev/vororoveredi"), 0, parent)
{
}

WifiCondService::WifiCondService(const QString &device, int sdk, QObject *parent)
    : QObject(parent)
    , m_networkManager(new NetworkManager(this))
    , m_sdk(sdk)
{
    m_manager = ServiceManager::get(device.toStdString());
    if (!m_manager) {
        qCWarning(lcWifi) << "Unable to find Novum service manager for wificond service!";
        return;
    }
    const auto handler = [this](const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *reply) {
        return handle(request, code, reply);
    };
    m_wificond = m_manager->newLocalObject(kWificond, handler);
    m_clientInterface = m_manager->newLocalObject(kClientInterface, handler);
    m_scanner = m_manager->newLocalObject(kScanner, handler);
    m_name = ServiceName::create(m_manager, m_wificond, kName);
}

WifiCondService::~WifiCondService()
{
    m_name.reset();
    for (const auto &object : {m_wificond, m_clientInterface, m_scanner}) {
        if (object)
            object->drop();
    }
}

bool WifiCondService::isRegistered() const
{
    return m_name && m_name->isRegistered();
}

Status WifiCondService::handle(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    const std::string &interface = request.interface();
    if (interface.empty()) {
        qCDebug(lcWifi) << "ferryd -no interface?";
        return kStatusFailed;
    }
    qCDebug(lcWifi) << "ferryd:" << interface.c_str();
    const int sdk = m_sdk ? m_sdk : sdkVersion();
    if (sdk == 28 || sdk == 29) {
        if (interface == kWificond)
            return handleWificond(request, code, reply, sdk);
        if (interface == kClientInterface)
            return handleClientInterface(request, code, reply, sdk);
        if (interface == kScanner)
            return handleScanner(code, reply);
    }
    qCCritical(lcWifi) << "Unknown interface on wificond processRequest";
    return kStatusFailed;
}

Status WifiCondService::handleWificond(const RemoteRequest &request, uint32_t code, LocalReply *reply, int sdk)
{
    switch (code) {
    case 1:   // createApInterface
        return replyObject(reply, nullptr);
    case 2:   // createClientInterface
        return replyObject(reply, m_clientInterface);
    case 3:   // tearDownApInterface
    case 4:   // tearDownClientInterface
        return replyBool(reply, true);
    case 5:   // tearDownInterfaces
        return replyEmpty(reply);
    case 6:   // GetClientInterfaces
    case 7:   // GetApInterfaces
        return unexpected(request, code);
    case 8:    // getAvailable2gChannels
    case 9:    // getAvailable5gNonDFSChannels
    case 10:   // getAvailableDFSChannels
        return replyEmptyList(reply);
    case 11:   // RegisterCallback
    case 12:   // UnregisterCallback
        if (sdk == 28)
            return replyBool(reply, true);
        return unexpected(request, code);
    case 13:
    case 14:
        if (sdk == 28)
            return unexpected(request, code);
        return unknown(code);
    default:
        return unknown(code);
    }
}

Status WifiCondService::handleClientInterface(const RemoteRequest &request, uint32_t code, LocalReply *reply,
                                              int sdk)
{
    switch (code) {
    case 2:
        return signalPoll(reply, sdk);
    case 5:   // getWifiScannerImpl
        return replyObject(reply, m_scanner);
    case 1:
    case 3:
    case 4:
    case 6:
        return unexpected(request, code);
    default:
        return unknown(code);
    }
}

Status WifiCondService::handleScanner(uint32_t code, LocalReply *reply)
{
    switch (code) {
    case 1:   // getScanResults
    case 2:   // getPnoScanResults
        return replyEmptyList(reply);
    case 3:   // scan
        return replyBool(reply, true);
    case 4:    // subscribeScanEvents
    case 5:    // unsubscribeScanEvents
    case 6:    // subscribePnoScanEvents
    case 7:    // unsubscribePnoScanEvents
    case 10:   // abortScan
        return replyEmpty(reply);
    case 8:   // startPnoScan
    case 9:   // stopPnoScan
        return replyBool(reply, false);
    default:
        return unknown(code);
    }
}

Status WifiCondService::signalPoll(LocalReply *reply, int sdk)
{
    int32_t rssi = 0, speed = 0, frequency = 0;
    if (NetworkService *service = m_networkManager->connectedWifi()) {
        rssi = int32_t(service->strength()) / 2 - 100;
        speed = int32_t(service->maxRate() / 1000000);
        frequency = int32_t(service->frequency());
    }
    if (!reply)
        return kStatusOk;
    Writer &writer = reply->writer();
    writer.appendInt32(0);
    if (sdk == 28) {
        writer.appendInt32(3);
        writer.appendInt32(rssi);
        writer.appendInt32(speed);
        writer.appendInt32(frequency);
    } else {
        writer.appendInt32(4);
        writer.appendInt32(rssi);
        writer.appendInt32(speed);   // transmit
        writer.appendInt32(frequency);
        writer.appendInt32(speed);   // receive
    }
    return kStatusOk;
}
