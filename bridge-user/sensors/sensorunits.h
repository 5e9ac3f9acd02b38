#pragma once

// What Android calls each sensor, and how Qt Sensors' units become
// Android's. A sensor's handle is its Android type number.
namespace SensorUnits {

enum Handle : int {
    Accelerometer = 1,
    MagneticField = 2,
    Gyroscope = 4,
    Light = 5,
    Pressure = 6,
    Proximity = 8,
    DeviceOrientation = 27,
};

// The handle of a Qt Sensors type ("QAccelerometer"), 0 if not served.
int handleForType(const char *qtType);
// Name and type string ("unknown sensor" for other handles).
const char *name(int handle);

// A Qt value of the sensor in Android's unit: tesla to microtesla,
// degrees to radians per second, pascal to hectopascal; others unchanged.
double toAndroid(int handle, double value);

// Android's value for a proximity reading: near is 0, far the maximum.
constexpr float kProximityFar = 5.0f;

} // namespace SensorUnits
