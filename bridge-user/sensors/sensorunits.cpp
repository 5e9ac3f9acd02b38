#include "sensorunits.h"

#include <cstring>

namespace SensorUnits {

namespace {

const struct {
    int handle;
    const char *qtType;
    const char *name;
} kSensors[] = {
    {Accelerometer, "QAccelerometer", "accelerometer"},
    {MagneticField, "QMagnetometer", "magnetometer"},
    {Gyroscope, "QGyroscope", "gyroscope"},
    {Light, "QLightSensor", "light"},
    {Pressure, "QPressureSensor", "pressure"},
    {Proximity, "QProximitySensor", "proximity"},
    {DeviceOrientation, "QOrientationSensor", "device orientation"},
};

// Qt's degrees per radian as Android's sensor HALs have it (a float).
constexpr double kDegreesPerRadian = 57.295799255371094;

} // namespace

int handleForType(const char *qtType)
{
    for (const auto &s : kSensors) {
        if (qtType && std::strcmp(qtType, s.qtType) == 0)
            return s.handle;
    }
    return 0;
}

const char *name(int handle)
{
    for (const auto &s : kSensors) {
        if (s.handle == handle)
            return s.name;
    }
    return "unknown sensor";
}

double toAndroid(int handle, double value)
{
    switch (handle) {
    case MagneticField:
        return value * 1000000.0;
    case Gyroscope:
        return value / kDegreesPerRadian;
    case Pressure:
        return value / 100.0;
    default:
        return value;
    }
}

} // namespace SensorUnits
