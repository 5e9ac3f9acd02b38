#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

class QSensorReading;

// Android's sensor Event (sensors@1.0), exactly as it lies in memory: the
// queue holds these and a poll reply copies them as they are.
struct SensorEvent
{
    int64_t timestamp = 0;     // nanoseconds
    int32_t sensorHandle = 0;
    int32_t sensorType = 0;    // 0 for a flush-complete meta event
    union Payload {
        struct {
            float x, y, z;
            int8_t status;
        } vec3;
        float scalar;
        uint32_t metaWhat;
        uint8_t bytes[64];
    } u {};

    // SensorStatus of three-axis readings: accuracy high.
    static constexpr int8_t kStatusAccuracyHigh = 2;
    static constexpr uint32_t kMetaFlushComplete = 1;

    // The event for a reading of the sensor with this handle, in Android's
    // units. Returns false for what Android must not see: an orientation
    // that maps to no Android value (see orientationValue). |orientation|
    // is the value to send for handle 27.
    static bool fromReading(int handle, const QSensorReading *reading, int orientation, SensorEvent *event);
    static SensorEvent flushComplete(int handle);
};
static_assert(sizeof(SensorEvent) == 80, "Android's sensors@1.0 Event is 80 bytes");
static_assert(offsetof(SensorEvent, u) == 16, "payload after timestamp, handle and type");

// The value of Android's device orientation sensor (0 top up, 1 right up,
// 2 top down, 3 left up) from Qt's orientation and the host's orientation
// lock setting. -1: nothing to report (face up or down, or any reading
// while the orientation is locked).
namespace SensorOrientation {
// qtOrientation is a QOrientationReading::Orientation.
int forReading(const QString &lock, int qtOrientation);
// After the lock changed: a locked orientation itself, else the reading's.
int forLockChange(const QString &lock, int qtOrientation);
} // namespace SensorOrientation
