#include "gnssservice.h"

#include "gnsslocation.h"
#include "gnsssvstatus.h"
#include "haldevice.h"
#include "logging.h"

#include <QGeoPositionInfoSource>
#include <QGeoSatelliteInfoSource>

#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

using namespace ferry::binder;

namespace {

const char kGnss10[] = "android.hardware.gnss@1.0::IGnss";
const char kGnss11[] = "android.hardware.gnss@1.1::IGnss";
const char kGnss20[] = "android.hardware.gnss@2.0::IGnss";
const char kGnss21[] = "android.hardware.gnss@2.1::IGnss";
const char kInstance[] = "default_novum";

enum GnssCode : uint32_t {
    SetCallback = 1,
    Start = 2,
    Stop = 3,
    Cleanup = 4,
    InjectTime = 5,
    InjectLocation = 6,
    DeleteAidingData = 7,
    SetPositionMode = 8,
    SetCallback11 = 19,
    SetPositionMode11 = 20,
    InjectBestLocation = 23,
    SetCallback20 = 24,
    InjectBestLocation20 = 33,
    SetCallback21 = 34,
    LastCode = 38,
};

enum CallbackCode : uint32_t {
    LocationCb = 1,
    StatusCb = 2,
    SvStatusCb = 3,
    SetCapabilitiesCb = 5,
    SetSystemInfoCb = 9,
    LocationCb20 = 13,
    SvStatusCb20 = 15,
    SvStatusCb21 = 17,
};

enum StatusValue : int32_t {
    SessionBegin = 1,
    SessionEnd = 2,
    EngineOn = 3,
    EngineOff = 4,
};

constexpr int32_t kCapabilityScheduling = 1;
constexpr uint16_t kYearOfHw = 2015;

void replyBool(LocalReply *reply, bool value)
{
    if (!reply)
        return;
    reply->writer().appendInt32(kStatusOk);
    reply->writer().appendInt8(value ? 1 : 0);
}

} // namespace

GnssService::GnssService(QObject *parent)
    : GnssService(halDevice(), parent)
{
}

GnssService::GnssService(const QString &device, QObject *parent)
    : QObject(parent)
{
    m_manager = ServiceManager::get(device.toStdString(), Protocol::Hidl);
    if (!m_manager) {
        qCWarning(lcGnss) << "Unable to find Novum service manager for GNSS service!";
        return;
    }
    m_positionSource = QGeoPositionInfoSource::createDefaultSource(this);
    m_satelliteSource = QGeoSatelliteInfoSource::createDefaultSource(this);
    m_object = m_manager->newLocalObject(
        std::vector<std::string>{kGnss10, kGnss11, kGnss20, kGnss21},
        [this](const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *reply) {
            return handle(request, code, reply);
        });
    // Kept registered across restarts of the runtime's HAL service manager,
    // and registered as soon as it appears when it is not there yet.
    m_name = ServiceName::create(m_manager, m_object, kInstance);
}

GnssService::~GnssService()
{
    release(nullptr);
    m_name.reset();
    if (m_object)
        m_object->drop();
}

bool GnssService::isRegistered() const
{
    return m_name && m_name->isRegistered();
}

Status GnssService::handle(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    switch (code) {
    case SetCallback:
    case SetCallback11:
    case SetCallback20:
    case SetCallback21:
        qCDebug(lcGnss) << "Gnss set callback";
        if (!setCallback(request))
            return kStatusFailed;
        replyBool(reply, true);
        return kStatusOk;
    case Start:
        qCDebug(lcGnss) << "Gnss start";
        start();
        replyBool(reply, true);
        return kStatusOk;
    case Stop:
        qCDebug(lcGnss) << "Gnss stop";
        stop();
        replyBool(reply, true);
        return kStatusOk;
    case Cleanup:
        qCDebug(lcGnss) << "Gnss cleanup";
        release(nullptr);
        if (reply)
            reply->writer().appendInt32(kStatusOk);
        return kStatusOk;
    case SetPositionMode:
    case SetPositionMode11:
        qCDebug(lcGnss) << "Gnss set positioning mode";
        if (!setPositionMode(request))
            return kStatusFailed;
        replyBool(reply, true);
        return kStatusOk;
    case InjectTime:
    case InjectLocation:
    case DeleteAidingData:
    case InjectBestLocation:
    case InjectBestLocation20:
        qCDebug(lcGnss) << "Gnss unsupported:" << code;
        replyBool(reply, false);
        return kStatusOk;
    default:
        break;
    }
    if (code >= 9 && code <= LastCode) {
        qCDebug(lcGnss) << "Unsupported gnss extension: " << code;
        if (reply) {
            reply->writer().appendInt32(kStatusOk);
            reply->writer().appendInt32(0);
        }
        return kStatusOk;
    }
    qCWarning(lcGnss) << "Unknown code (" << code << ")";
    return kStatusFailed;
}

bool GnssService::setCallback(const RemoteRequest &request)
{
    Reader reader = request.reader();
    std::shared_ptr<RemoteObject> callback;
    if (!reader.readObject(&callback))
        return false;

    release(nullptr);
    if (!callback)
        return true;   // Android clearing its callback

    // The version comes from the descriptor the caller used, not from the
    // code: a 2.0 client may still call setCallback_1_1.
    const std::string &interface = request.interface();
    m_callbackVersion = interface == kGnss21 ? V2_1 : interface == kGnss20 ? V2_0
                      : interface == kGnss11 ? V1_1 : V1_0;
    m_callback = callback;
    m_client = std::make_unique<Client>(
        callback, std::vector<Client::Range>{{9, "android.hardware.gnss@1.0::IGnssCallback"},
                                             {11, "android.hardware.gnss@1.1::IGnssCallback"},
                                             {15, "android.hardware.gnss@2.0::IGnssCallback"},
                                             {17, "android.hardware.gnss@2.1::IGnssCallback"}});
    m_deathId = callback->addDeathHandler([this] { release("GNSS Remote died, cleaning up!"); });

    LocalRequest capabilities = m_client->newRequest(SetCapabilitiesCb);
    capabilities.writer().appendInt32(kCapabilityScheduling);
    std::unique_ptr<RemoteReply> ignored;
    m_client->transactSync(SetCapabilitiesCb, capabilities, &ignored);
    if (m_client)   // the callback may have died meanwhile
        sendBuffer(SetSystemInfoCb, QByteArray(reinterpret_cast<const char *>(&kYearOfHw), sizeof kYearOfHw));
    return true;
}

bool GnssService::setPositionMode(const RemoteRequest &request)
{
    Reader reader = request.reader();
    int32_t mode, recurrence, minIntervalMs, preferredAccuracyMeters, preferredTimeMs;
    if (!reader.readInt32(&mode) || !reader.readInt32(&recurrence) || !reader.readInt32(&minIntervalMs)
        || !reader.readInt32(&preferredAccuracyMeters) || !reader.readInt32(&preferredTimeMs))
        return false;
    if (request.interface() != kGnss10) {
        int8_t lowPowerMode;
        if (!reader.readInt8(&lowPowerMode))
            return false;
    }
    // A negative interval from Android means nothing sensible; Qt takes 0
    // as "as often as the source can".
    const int interval = qMax(0, minIntervalMs);
    if (m_positionSource)
        m_positionSource->setUpdateInterval(interval);
    if (m_satelliteSource)
        m_satelliteSource->setUpdateInterval(interval);
    return true;
}

void GnssService::start()
{
    if (m_positionSource) {
        connect(m_positionSource, &QGeoPositionInfoSource::positionUpdated, this,
                &GnssService::positionUpdated, Qt::UniqueConnection);
        m_positionSource->startUpdates();
    }
    if (m_satelliteSource) {
        connect(m_satelliteSource, &QGeoSatelliteInfoSource::satellitesInViewUpdated, this,
                &GnssService::satellitesInViewUpdated, Qt::UniqueConnection);
        connect(m_satelliteSource, &QGeoSatelliteInfoSource::satellitesInUseUpdated, this,
                &GnssService::satellitesInUseUpdated, Qt::UniqueConnection);
        m_satelliteSource->startUpdates();
    }
    sendStatus(EngineOn);
    sendStatus(SessionBegin);
}

void GnssService::stop()
{
    stopUpdates();
    sendStatus(SessionEnd);
    sendStatus(EngineOff);
}

void GnssService::stopUpdates()
{
    if (m_positionSource) {
        m_positionSource->stopUpdates();
        m_positionSource->disconnect(this);
    }
    if (m_satelliteSource) {
        m_satelliteSource->stopUpdates();
        m_satelliteSource->disconnect(this);
    }
}

void GnssService::release(const char *reason)
{
    if (!m_callback)
        return;
    if (reason)
        qCWarning(lcGnss) << reason;
    stopUpdates();
    m_client.reset();
    std::shared_ptr<RemoteObject> callback = std::move(m_callback);
    callback->removeHandler(m_deathId);
    m_deathId = 0;
}

void GnssService::sendStatus(int32_t status)
{
    if (!m_client)
        return;
    LocalRequest request = m_client->newRequest(StatusCb);
    request.writer().appendInt32(status);
    std::unique_ptr<RemoteReply> ignored;
    m_client->transactSync(StatusCb, request, &ignored);
}

Status GnssService::sendBuffer(uint32_t code, const QByteArray &buffer)
{
    LocalRequest request = m_client->newRequest(code);
    request.writer().appendBufferObject(buffer.constData(), size_t(buffer.size()), nullptr);
    std::unique_ptr<RemoteReply> ignored;
    return m_client->transactSync(code, request, &ignored);
}

Status GnssService::sendVector(uint32_t code, const QByteArray &entries, int entrySize)
{
    LocalRequest request = m_client->newRequest(code);
    request.writer().appendHidlVec(entries.constData(), size_t(entries.size() / entrySize), size_t(entrySize));
    std::unique_ptr<RemoteReply> ignored;
    return m_client->transactSync(code, request, &ignored);
}

void GnssService::positionUpdated(const QGeoPositionInfo &position)
{
    if (!m_client)
        return;
    const bool version20 = m_callbackVersion >= V2_0;
    const Status status = sendBuffer(version20 ? LocationCb20 : LocationCb,
                                     GnssLocation::fromPosition(position, version20));
    if (status != kStatusOk)
        qCCritical(lcGnss) << "Gnss position updated status:" << status;
}

void GnssService::satellitesInViewUpdated(const QList<QGeoSatelliteInfo> &satellites)
{
    qCDebug(lcGnss) << "Gnss satellites in view update:" << satellites.size();
    m_inView = satellites;
}

void GnssService::satellitesInUseUpdated(const QList<QGeoSatelliteInfo> &satellites)
{
    qCDebug(lcGnss) << "Gnss satellites in use updated" << satellites.size();
    m_inUse = satellites;
    if (!m_client)
        return;
    Status status;
    switch (m_callbackVersion) {
    case V2_1:
        status = sendVector(SvStatusCb21, GnssSvStatus::svInfos(m_inView, m_inUse, GnssSvStatus::kInfoSize21),
                            GnssSvStatus::kInfoSize21);
        break;
    case V2_0:
        status = sendVector(SvStatusCb20, GnssSvStatus::svInfos(m_inView, m_inUse, GnssSvStatus::kInfoSize20),
                            GnssSvStatus::kInfoSize20);
        break;
    default:
        status = sendBuffer(SvStatusCb, GnssSvStatus::status10(m_inView, m_inUse));
        break;
    }
    if (status != kStatusOk)
        qCCritical(lcGnss) << "Gnss satellites in use updated status: " << status;
}
