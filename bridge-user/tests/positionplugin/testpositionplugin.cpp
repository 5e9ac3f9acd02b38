#include "testpositionplugin.h"

#include "testpositioncontrol.h"

#include <QGeoPositionInfoSource>
#include <QGeoSatelliteInfoSource>

namespace {

class TestPositionSource : public QGeoPositionInfoSource
{
public:
    explicit TestPositionSource(QObject *parent)
        : QGeoPositionInfoSource(parent)
    {
        connect(TestPositionControl::instance(), &TestPositionControl::position, this,
                [this](const QGeoPositionInfo &info) {
                    m_last = info;
                    if (m_started)
                        emit positionUpdated(info);
                });
    }
    void setUpdateInterval(int msec) override
    {
        TestPositionControl::record("position", "interval", msec);
        QGeoPositionInfoSource::setUpdateInterval(msec);
    }
    QGeoPositionInfo lastKnownPosition(bool) const override { return m_last; }
    PositioningMethods supportedPositioningMethods() const override { return SatellitePositioningMethods; }
    int minimumUpdateInterval() const override { return 0; }
    Error error() const override { return NoError; }
    void startUpdates() override
    {
        m_started = true;
        TestPositionControl::record("position", "start");
    }
    void stopUpdates() override
    {
        m_started = false;
        TestPositionControl::record("position", "stop");
    }
    void requestUpdate(int) override {}

private:
    QGeoPositionInfo m_last;
    bool m_started = false;
};

class TestSatelliteSource : public QGeoSatelliteInfoSource
{
public:
    explicit TestSatelliteSource(QObject *parent)
        : QGeoSatelliteInfoSource(parent)
    {
        connect(TestPositionControl::instance(), &TestPositionControl::inView, this,
                [this](const QList<QGeoSatelliteInfo> &list) {
                    if (m_started)
                        emit satellitesInViewUpdated(list);
                });
        connect(TestPositionControl::instance(), &TestPositionControl::inUse, this,
                [this](const QList<QGeoSatelliteInfo> &list) {
                    if (m_started)
                        emit satellitesInUseUpdated(list);
                });
    }
    void setUpdateInterval(int msec) override
    {
        TestPositionControl::record("satellite", "interval", msec);
        QGeoSatelliteInfoSource::setUpdateInterval(msec);
    }
    int minimumUpdateInterval() const override { return 0; }
    Error error() const override { return NoError; }
    void startUpdates() override
    {
        m_started = true;
        TestPositionControl::record("satellite", "start");
    }
    void stopUpdates() override
    {
        m_started = false;
        TestPositionControl::record("satellite", "stop");
    }
    void requestUpdate(int) override {}

private:
    bool m_started = false;
};

} // namespace

QGeoPositionInfoSource *TestPositionPlugin::positionInfoSource(QObject *parent)
{
    return new TestPositionSource(parent);
}

QGeoSatelliteInfoSource *TestPositionPlugin::satelliteInfoSource(QObject *parent)
{
    return new TestSatelliteSource(parent);
}

QGeoAreaMonitorSource *TestPositionPlugin::areaMonitor(QObject *)
{
    return nullptr;
}
