#include "sensorevent.h"

#include "sensorunits.h"

#include <QAccelerometerReading>
#include <QGyroscopeReading>
#include <QLightReading>
#include <QMagnetometerReading>
#include <QOrientationReading>
#include <QPressureReading>
#include <QProximityReading>

namespace {

void setVec3(SensorEvent *event, int handle, double x, double y, double z)
{
    event->u.vec3.x = float(SensorUnits::toAndroid(handle, x));
    event->u.vec3.y = float(SensorUnits::toAndroid(handle, y));
    event->u.vec3.z = float(SensorUnits::toAndroid(handle, z));
    event->u.vec3.status = SensorEvent::kStatusAccuracyHigh;
}

bool isDynamic(const QString &lock)
{
    return lock.isEmpty() || lock == QLatin1String("dynamic");
}

} // namespace

bool SensorEvent::fromReading(int handle, const QSensorReading *reading, int orientation, SensorEvent *event)
{
    using namespace SensorUnits;
    *event = SensorEvent();
    event->sensorHandle = event->sensorType = handle;
    if (!reading)
        return false;
    event->timestamp = int64_t(reading->timestamp()) * 1000;
    switch (handle) {
    case Accelerometer:
    case MagneticField:
    case Gyroscope: {
        if (const auto *r = qobject_cast<const QAccelerometerReading *>(reading))
            setVec3(event, handle, r->x(), r->y(), r->z());
        else if (const auto *r = qobject_cast<const QMagnetometerReading *>(reading))
            setVec3(event, handle, r->x(), r->y(), r->z());
        else if (const auto *r = qobject_cast<const QGyroscopeReading *>(reading))
            setVec3(event, handle, r->x(), r->y(), r->z());
        else
            return false;
        return true;
    }
    case Light:
        if (const auto *r = qobject_cast<const QLightReading *>(reading)) {
            event->u.scalar = float(r->lux());
            return true;
        }
        return false;
    case Pressure:
        if (const auto *r = qobject_cast<const QPressureReading *>(reading)) {
            event->u.scalar = float(toAndroid(handle, r->pressure()));
            return true;
        }
        return false;
    case Proximity:
        if (const auto *r = qobject_cast<const QProximityReading *>(reading)) {
            event->u.scalar = r->close() ? 0.0f : kProximityFar;
            return true;
        }
        return false;
    case DeviceOrientation:
        if (orientation < 0)
            return false;
        event->u.scalar = float(orientation);
        return true;
    default:
        return false;
    }
}

SensorEvent SensorEvent::flushComplete(int handle)
{
    SensorEvent event;
    event.sensorHandle = handle;
    event.u.metaWhat = kMetaFlushComplete;
    return event;
}

namespace SensorOrientation {

namespace {
int fromQt(int qtOrientation)
{
    switch (qtOrientation) {
    case QOrientationReading::TopUp:
        return 0;
    case QOrientationReading::TopDown:
        return 2;
    case QOrientationReading::LeftUp:
        return 3;
    case QOrientationReading::RightUp:
        return 1;
    case QOrientationReading::FaceUp:
    case QOrientationReading::FaceDown:
        return -1;
    default:
        return 0;
    }
}
} // namespace

int forReading(const QString &lock, int qtOrientation)
{
    return isDynamic(lock) ? fromQt(qtOrientation) : -1;
}

int forLockChange(const QString &lock, int qtOrientation)
{
    if (isDynamic(lock))
        return fromQt(qtOrientation);
    if (lock == QLatin1String("landscape"))
        return 1;
    if (lock == QLatin1String("portrait-inverted"))
        return 2;
    if (lock == QLatin1String("landscape-inverted"))
        return 3;
    return 0;
}

} // namespace SensorOrientation
