#include "sensorservice.h"

#include "haldevice.h"
#include "logging.h"
#include "mgconfitem.h"
#include "sensorinfo.h"
#include "sensorunits.h"

#include <QAccelerometer>
#include <QGyroscope>
#include <QLightSensor>
#include <QMagnetometer>
#include <QOrientationSensor>
#include <QPressureSensor>
#include <QProximitySensor>

#include <ferry/binder/blocked_request.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

#include <cmath>
#include <ctime>

using namespace ferry::binder;

namespace {

const char kSensors[] = "android.hardware.sensors@1.0::ISensors";
const char kInstance[] = "default_novum";
const char kOrientationLockKey[] = "/lipstick/orientationLock";

enum Code : uint32_t {
    GetSensorsList = 1,
    SetOperationMode = 2,
    Activate = 3,
    Poll = 4,
    Batch = 5,
    Flush = 6,
    InjectSensorData = 7,
    ConfigDirectReport = 10,
};

QSensor *createSensor(int handle)
{
    switch (handle) {
    case SensorUnits::Accelerometer:
        return new QAccelerometer;
    case SensorUnits::MagneticField:
        return new QMagnetometer;
    case SensorUnits::Gyroscope:
        return new QGyroscope;
    case SensorUnits::Light:
        return new QLightSensor;
    case SensorUnits::Pressure:
        return new QPressureSensor;
    case SensorUnits::Proximity:
        return new QProximitySensor;
    case SensorUnits::DeviceOrientation:
        return new QOrientationSensor;
    default:
        return nullptr;
    }
}

int64_t bootTimeNs()
{
    timespec ts {};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int qtOrientation(QSensor *sensor)
{
    const auto *reading = sensor ? qobject_cast<QOrientationReading *>(sensor->reading()) : nullptr;
    return reading ? int(reading->orientation()) : int(QOrientationReading::Undefined);
}

} // namespace

SensorService::SensorService(QObject *parent)
    : SensorService(halDevice(), parent)
{
}

SensorService::SensorService(const QString &device, QObject *parent)
    : QObject(parent)
{
    for (const QByteArray &type : QSensor::sensorTypes()) {
        const int handle = SensorUnits::handleForType(type.constData());
        QSensor *sensor = createSensor(handle);
        if (!sensor) {
            qCWarning(lcSensor) << "Sensor not supported (" << type << ")";
            continue;
        }
        connect(sensor, &QSensor::readingChanged, this, [this, handle] { sensorReadingChanged(handle); });
        sensor->connectToBackend();
        auto previous = m_sensors.find(handle);
        if (previous != m_sensors.end())
            delete previous->second;
        m_sensors[handle] = sensor;
        qCDebug(lcSensor) << "Sensor added (" << type << ")";
    }

    m_manager = ServiceManager::get(device.toStdString(), Protocol::Hidl);
    if (!m_manager) {
        qCWarning(lcSensor) << "Unable to find Novum service manager for sensor service!";
        for (auto &entry : m_sensors)
            delete entry.second;
        m_sensors.clear();
        return;
    }
    m_object = m_manager->newLocalObject(kSensors, [this](const RemoteRequest &request, uint32_t code, uint32_t,
                                                          LocalReply *reply) { return handle(request, code, reply); });
    // Kept registered across restarts of the runtime's HAL service manager.
    m_name = ServiceName::create(m_manager, m_object, kInstance);

    if (m_sensors.count(SensorUnits::DeviceOrientation)) {
        m_orientationLock = new MGConfItem(QString::fromLatin1(kOrientationLockKey), this);
        connect(m_orientationLock, &MGConfItem::valueChanged, this, &SensorService::orientationLockChanged);
    }
}

SensorService::~SensorService()
{
    m_name.reset();
    if (m_object)
        m_object->drop();
    // A poll still held is answered rather than failed.
    std::shared_ptr<BlockedRequest> held;
    {
        QMutexLocker lock(&m_mutex);
        held = std::move(m_held);
        m_heldCount = 0;
    }
    if (held && held->reply()) {
        writePollReply(held->reply()->writer(), {});
        held->complete(kStatusOk);
    }
    for (auto &entry : m_sensors) {
        entry.second->stop();
        delete entry.second;
    }
    m_sensors.clear();
}

bool SensorService::isRegistered() const
{
    return m_name && m_name->isRegistered();
}

QSensor *SensorService::sensor(int32_t handle) const
{
    auto found = m_sensors.find(handle);
    return found == m_sensors.end() ? nullptr : found->second;
}

Status SensorService::handle(const RemoteRequest &request, uint32_t code, LocalReply *reply)
{
    Reader reader = request.reader();
    int32_t result = Ok;
    switch (code) {
    case GetSensorsList: {
        qCDebug(lcSensor) << "Get sensors list";
        QVector<SensorInfo> infos;
        for (const auto &entry : m_sensors)
            infos << SensorInfo::describe(entry.first, entry.second->outputRanges(),
                                          entry.second->availableDataRates());
        if (reply) {
            reply->writer().appendInt32(kStatusOk);
            SensorInfo::appendVector(reply->writer(), infos);
        }
        return kStatusOk;
    }
    case SetOperationMode: {
        int32_t mode;
        if (!reader.readInt32(&mode))
            return kStatusFailed;
        qCDebug(lcSensor) << "Set operation mode" << mode;
        result = mode == 0 ? Ok : BadValue;
        break;
    }
    case Activate: {
        int32_t handle;
        int8_t enabled;
        if (!reader.readInt32(&handle) || !reader.readInt8(&enabled))
            return kStatusFailed;
        result = activate(handle, enabled != 0);
        break;
    }
    case Poll: {
        int32_t maxCount;
        if (!reader.readInt32(&maxCount))
            return kStatusFailed;
        poll(request, maxCount, reply);
        return kStatusOk;
    }
    case Batch: {
        int32_t handle;
        int64_t samplingPeriodNs, maxReportLatencyNs;
        if (!reader.readInt32(&handle) || !reader.readInt64(&samplingPeriodNs) || !reader.readInt64(&maxReportLatencyNs))
            return kStatusFailed;
        result = batch(handle, samplingPeriodNs);
        break;
    }
    case Flush: {
        int32_t handle;
        if (!reader.readInt32(&handle))
            return kStatusFailed;
        result = flush(handle);
        break;
    }
    default:
        if (code >= InjectSensorData && code <= ConfigDirectReport) {
            qCDebug(lcSensor) << "Unsupported sensors method" << code;
            if (reply) {
                reply->writer().appendInt32(kStatusOk);
                reply->writer().appendInt32(InvalidOperation);
                reply->writer().appendInt32(-1);
            }
            return kStatusOk;
        }
        qCWarning(lcSensor) << "Unknown code (" << code << ")";
        return kStatusFailed;
    }
    if (reply) {
        reply->writer().appendInt32(kStatusOk);
        reply->writer().appendInt32(result);
    }
    return kStatusOk;
}

int32_t SensorService::activate(int32_t handle, bool enabled)
{
    qCDebug(lcSensor) << "Activate" << handle << enabled;
    QSensor *s = sensor(handle);
    if (!s)
        return BadValue;
    if (!enabled) {
        s->stop();
        QMutexLocker lock(&m_mutex);
        m_queue.removeHandle(handle);
        return Ok;
    }
    return s->start() ? Ok : BadValue;
}

int32_t SensorService::batch(int32_t handle, int64_t samplingPeriodNs)
{
    qCDebug(lcSensor) << "Batch" << handle << samplingPeriodNs;
    QSensor *s = sensor(handle);
    // A period of 0 or less is no rate at all.
    if (!s || samplingPeriodNs <= 0)
        return BadValue;
    const int rate = int(std::lrint(1e9 / double(samplingPeriodNs)));
    if (rate == s->dataRate())
        return Ok;
    if (s->isActive()) {
        s->stop();
        s->setDataRate(rate);
        s->start();
    } else {
        s->setDataRate(rate);
    }
    return Ok;
}

int32_t SensorService::flush(int32_t handle)
{
    qCDebug(lcSensor) << "Flush" << handle;
    QSensor *s = sensor(handle);
    if (!s || !s->isActive())
        return BadValue;
    queue(SensorEvent::flushComplete(handle));
    return Ok;
}

bool SensorService::poll(const RemoteRequest &request, int32_t maxCount, LocalReply *reply)
{
    std::shared_ptr<BlockedRequest> previous;
    QVector<SensorEvent> events;
    bool held = false;
    {
        QMutexLocker lock(&m_mutex);
        // At most one poll waits: an earlier one gives way, empty-handed.
        previous = std::move(m_held);
        m_heldCount = 0;
        if (maxCount > 0 && m_queue.isEmpty()) {
            m_held = request.block();
            if (m_held) {
                m_heldCount = maxCount;
                held = true;
            }
        }
        if (!held)
            events = m_queue.take(maxCount);
    }
    if (previous && previous->reply()) {
        writePollReply(previous->reply()->writer(), {});
        previous->complete(kStatusOk);
    }
    if (held)
        return false;
    if (reply)
        writePollReply(reply->writer(), events);
    return true;
}

void SensorService::writePollReply(Writer &writer, const QVector<SensorEvent> &events)
{
    writer.appendInt32(kStatusOk);
    writer.appendInt32(events.isEmpty() ? BadValue : Ok);
    writer.appendHidlVec(events.constData(), size_t(events.size()), sizeof(SensorEvent));
    SensorInfo::appendVector(writer, {});
}

void SensorService::queue(const SensorEvent &event)
{
    {
        QMutexLocker lock(&m_mutex);
        m_queue.push(event);
    }
    answerHeld();
}

void SensorService::answerHeld()
{
    std::shared_ptr<BlockedRequest> held;
    QVector<SensorEvent> events;
    {
        QMutexLocker lock(&m_mutex);
        if (m_heldCount <= 0 || !m_held)
            return;
        held = std::move(m_held);
        events = m_queue.take(m_heldCount);
        m_heldCount = 0;
    }
    if (held->reply())
        writePollReply(held->reply()->writer(), events);
    held->complete(kStatusOk);
}

QString SensorService::orientationLock() const
{
    return m_orientationLock ? m_orientationLock->value().toString() : QString();
}

void SensorService::sensorReadingChanged(int handle)
{
    QSensor *s = sensor(handle);
    if (!s)
        return;
    const int orientation = handle == SensorUnits::DeviceOrientation
                                ? SensorOrientation::forReading(orientationLock(), qtOrientation(s))
                                : 0;
    SensorEvent event;
    if (!SensorEvent::fromReading(handle, s->reading(), orientation, &event))
        return;
    queue(event);
}

void SensorService::orientationLockChanged()
{
    QSensor *s = sensor(SensorUnits::DeviceOrientation);
    if (!s || !s->isActive())
        return;
    const int value = SensorOrientation::forLockChange(orientationLock(), qtOrientation(s));
    if (value < 0)
        return;
    SensorEvent event;
    event.sensorHandle = event.sensorType = SensorUnits::DeviceOrientation;
    event.timestamp = bootTimeNs();
    event.u.scalar = float(value);
    queue(event);
}
