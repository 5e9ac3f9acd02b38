#pragma once

#include <QByteArray>
#include <QSensor>
#include <QVector>

#include <cstdint>

namespace ferry::binder {
class Writer;
}

// Android's SensorInfo (sensors@1.0) for one served sensor: 112 bytes in
// memory, its four strings as hidl_strings whose characters travel as
// child buffers of the element array.
struct SensorInfo
{
    static constexpr int kSize = 112;
    // Where the hidl_strings sit inside an element.
    static constexpr int kNameOffset = 8;
    static constexpr int kVendorOffset = 24;
    static constexpr int kTypeAsStringOffset = 48;
    static constexpr int kRequiredPermissionOffset = 88;

    enum Flag : uint32_t {
        WakeUp = 1,
        OnChange = 2,
    };

    int32_t handle = 0;
    QByteArray name;
    QByteArray vendor;
    int32_t version = 1;
    int32_t type = 0;
    QByteArray typeAsString;
    float maxRange = 0;
    float resolution = 0;
    float power = 0;
    int32_t minDelay = 0;
    uint32_t fifoReservedEventCount = 0;
    uint32_t fifoMaxEventCount = 0;
    QByteArray requiredPermission;
    int32_t maxDelay = 0;
    uint32_t flags = 0;

    // What Android is told of a sensor with these output ranges and data
    // rates (Qt's units and hertz).
    static SensorInfo describe(int handle, const qoutputrangelist &ranges, const qrangelist &rates);

    // The element as laid out in memory; the string pointers are left 0
    // (the kernel points them at the child buffers).
    QByteArray element() const;

    // vec<SensorInfo> in the HIDL embedding: the vector's header, the
    // element array as its child, then each element's strings in field
    // order as children of the array.
    static void appendVector(ferry::binder::Writer &writer, const QVector<SensorInfo> &infos);
};
