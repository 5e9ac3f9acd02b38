#include "testsensorbackend.h"

#include "testsensorcontrol.h"

#include <QAccelerometer>
#include <QGyroscope>
#include <QLightSensor>
#include <QMagnetometer>
#include <QOrientationSensor>
#include <QPressureSensor>
#include <QProximitySensor>

#include <ctime>

namespace {

quint64 bootTimeUs()
{
    timespec ts {};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return quint64(ts.tv_sec) * 1000000 + quint64(ts.tv_nsec) / 1000;
}

qreal number(const QJsonObject &values, const char *key)
{
    return values.value(QLatin1String(key)).toDouble();
}

} // namespace

QList<QByteArray> TestSensorBackend::types()
{
    return {QAccelerometer::type, QMagnetometer::type, QGyroscope::type, QLightSensor::type,
            QPressureSensor::type, QProximitySensor::type, QOrientationSensor::type};
}

TestSensorBackend::TestSensorBackend(QSensor *sensor)
    : QSensorBackend(sensor)
{
    // Ranges and rates of a typical phone, in Qt's units.
    const QByteArray t = type();
    if (t == QAccelerometer::type) {
        setReading<QAccelerometerReading>(nullptr);
        addOutputRange(-39.2266, 39.2266, 0.0012);
    } else if (t == QMagnetometer::type) {
        setReading<QMagnetometerReading>(nullptr);
        addOutputRange(-0.0049, 0.0049, 0.00000015);
    } else if (t == QGyroscope::type) {
        setReading<QGyroscopeReading>(nullptr);
        addOutputRange(-2000, 2000, 0.061);
    } else if (t == QLightSensor::type) {
        setReading<QLightReading>(nullptr);
        addOutputRange(0, 43000, 1);
    } else if (t == QPressureSensor::type) {
        setReading<QPressureReading>(nullptr);
        addOutputRange(30000, 110000, 1);
    } else if (t == QProximitySensor::type) {
        setReading<QProximityReading>(nullptr);
    } else {
        setReading<QOrientationReading>(nullptr);
    }
    addDataRate(1, 1000);
    setDescription(QStringLiteral("ferry test ") + QString::fromLatin1(t));
    TestSensorControl::instance()->add(this);
}

TestSensorBackend::~TestSensorBackend()
{
    TestSensorControl::instance()->remove(this);
}

QByteArray TestSensorBackend::type() const
{
    return sensor()->type();
}

void TestSensorBackend::start()
{
    TestSensorControl::record(type(), "start", sensor()->dataRate());
    if (TestSensorControl::instance()->failsToStart(type())) {
        sensorError(-1);
        sensorStopped();
        return;
    }
    m_started = true;
}

void TestSensorBackend::stop()
{
    TestSensorControl::record(type(), "stop");
    m_started = false;
}

void TestSensorBackend::emitReading(const QJsonObject &values)
{
    QSensorReading *r = reading();
    r->setTimestamp(values.contains(QStringLiteral("timestamp"))
                        ? quint64(values.value(QStringLiteral("timestamp")).toDouble())
                        : bootTimeUs());
    if (auto *a = qobject_cast<QAccelerometerReading *>(r)) {
        a->setX(number(values, "x")), a->setY(number(values, "y")), a->setZ(number(values, "z"));
    } else if (auto *m = qobject_cast<QMagnetometerReading *>(r)) {
        m->setX(number(values, "x")), m->setY(number(values, "y")), m->setZ(number(values, "z"));
    } else if (auto *g = qobject_cast<QGyroscopeReading *>(r)) {
        g->setX(number(values, "x")), g->setY(number(values, "y")), g->setZ(number(values, "z"));
    } else if (auto *l = qobject_cast<QLightReading *>(r)) {
        l->setLux(number(values, "lux"));
    } else if (auto *p = qobject_cast<QPressureReading *>(r)) {
        p->setPressure(number(values, "pressure"));
    } else if (auto *c = qobject_cast<QProximityReading *>(r)) {
        c->setClose(values.value(QStringLiteral("close")).toBool());
    } else if (auto *o = qobject_cast<QOrientationReading *>(r)) {
        o->setOrientation(QOrientationReading::Orientation(values.value(QStringLiteral("orientation")).toInt()));
    }
    newReadingAvailable();
}
