#include "testsensorplugin.h"

#include "testsensorbackend.h"

#include <QSensorManager>

void TestSensorPlugin::registerSensors()
{
    const QByteArray only = qgetenv("FERRY_TEST_SENSOR_TYPES");
    const QList<QByteArray> wanted = only.isEmpty() ? TestSensorBackend::types() : only.split(',');
    for (const QByteArray &type : wanted) {
        if (TestSensorBackend::types().contains(type) && !QSensorManager::isBackendRegistered(type, "ferrytest." + type))
            QSensorManager::registerBackend(type, "ferrytest." + type, this);
    }
}

QSensorBackend *TestSensorPlugin::createBackend(QSensor *sensor)
{
    return new TestSensorBackend(sensor);
}
