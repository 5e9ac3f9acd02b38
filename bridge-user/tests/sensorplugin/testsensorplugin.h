#pragma once

#include <QObject>
#include <QSensorBackendFactory>
#include <QSensorPluginInterface>

// Qt Sensors plug-in for tests, found through QT_PLUGIN_PATH: registers a
// backend "ferrytest.<type>" for each of the seven sensor classes the
// bridge serves (all, or those of $FERRY_TEST_SENSOR_TYPES, comma
// separated). The backends are driven through TestSensorControl.
class TestSensorPlugin : public QObject, public QSensorPluginInterface, public QSensorBackendFactory
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.qt-project.Qt.QSensorPluginInterface/1.0" FILE "plugin.json")
    Q_INTERFACES(QSensorPluginInterface)
public:
    void registerSensors() override;
    QSensorBackend *createBackend(QSensor *sensor) override;
};
