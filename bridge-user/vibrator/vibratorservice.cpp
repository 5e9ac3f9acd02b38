#include "vibratorservice.h"

#include "haldevice.h"
#include "logging.h"
#include "vibratorrules.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

using namespace ferry::binder;

namespace {

const char kVibrator[] = "android.hardware.vibrator@1.0::IVibrator";
const char kInstance[] = "default_novum";

enum Code : uint32_t {
    On = 1,
    Off = 2,
    SupportsAmplitudeControl = 3,
    SetAmplitude = 4,
    Perform = 5,
};

} // namespace

VibratorService::VibratorService(QObject *parent)
    : VibratorService(halDevice(), parent)
{
}

VibratorService::VibratorService(const QString &device, QObject *parent)
    : QObject(parent)
{
    m_manager = ServiceManager::get(device.toStdString(), Protocol::Hidl);
    if (!m_manager) {
        qCWarning(lcVibrate) << "Unable to find Novum service manager for vibrator service!";
        return;
    }
    m_object = m_manager->newLocalObject(kVibrator, [this](const RemoteRequest &request, uint32_t code, uint32_t,
                                                           LocalReply *reply) { return handle(request, code, reply); });
    m_name = ServiceName::create(m_manager, m_object, kInstance);
}

VibratorService::~VibratorService()
{
    m_name.reset();
    if (m_object)
        m_object->drop();
    m_effect.stop();
}

bool VibratorService::isRegistered() const
{
    return m_name && m_name->isRegistered();
}

Status VibratorService::handle(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    Reader reader = request.reader();
    uint32_t status = VibratorRules::Ok;
    uint32_t lengthMs = 0;
    switch (code) {
    case On: {
        qCDebug(lcVibrate) << "Vibrator on";
        uint32_t timeoutMs;
        if (!reader.readUint32(&timeoutMs))
            return kStatusFailed;
        m_effect.setDuration(VibratorRules::durationMs(timeoutMs));
        m_effect.start();
        break;
    }
    case Off:
        qCDebug(lcVibrate) << "Vibrator off";
        m_effect.stop();
        break;
    case SupportsAmplitudeControl:
        qCDebug(lcVibrate) << "Supports amplitude control";
        if (reply) {
            reply->writer().appendInt32(kStatusOk);
            reply->writer().appendInt8(1);
        }
        return kStatusOk;
    case SetAmplitude: {
        qCDebug(lcVibrate) << "Set amplitude";
        uint32_t amplitude;
        qreal intensity = 0;
        if (!reader.readUint32(&amplitude))
            return kStatusFailed;
        if (VibratorRules::intensity(amplitude, &intensity))
            m_effect.setIntensity(intensity);
        else
            status = VibratorRules::BadValue;
        break;
    }
    case Perform: {
        qCDebug(lcVibrate) << "Perform";
        uint32_t effect, strength;
        if (!reader.readUint32(&effect) || !reader.readUint32(&strength))
            return kStatusFailed;
        const VibratorRules::Perform result =
            VibratorRules::perform(effect, strength, QFeedbackEffect::supportsThemeEffect());
        if (result.play)
            QFeedbackEffect::playThemeEffect(VibratorRules::themeEffect(strength));
        status = result.status;
        lengthMs = result.lengthMs;
        break;
    }
    default:
        qCDebug(lcVibrate) << "Unknown code (" << code << ")";
        return kStatusFailed;
    }
    if (reply) {
        reply->writer().appendInt32(kStatusOk);
        reply->writer().appendUint32(status);
        if (code == Perform)
            reply->writer().appendUint32(lengthMs);
    }
    return kStatusOk;
}
