#pragma once

#include <QGeoPositionInfoSourceFactory>
#include <QObject>

// Qt Positioning plug-in for tests, found through QT_PLUGIN_PATH. Its
// sources are driven over the local socket $FERRY_TEST_POSITION_SOCKET
// (see TestPositionControl) and record what they are asked in
// $FERRY_TEST_POSITION_LOG.
class TestPositionPlugin : public QObject, public QGeoPositionInfoSourceFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.qt.position.sourcefactory/5.0" FILE "plugin.json")
    Q_INTERFACES(QGeoPositionInfoSourceFactory)
public:
    QGeoPositionInfoSource *positionInfoSource(QObject *parent) override;
    QGeoSatelliteInfoSource *satelliteInfoSource(QObject *parent) override;
    QGeoAreaMonitorSource *areaMonitor(QObject *parent) override;
};
