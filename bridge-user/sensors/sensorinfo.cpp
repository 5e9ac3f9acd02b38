#include "sensorinfo.h"

#include "sensorunits.h"

#include <ferry/binder/writer.h>

#include <algorithm>
#include <cstring>

using ferry::binder::BufferParent;

namespace {

// hidl_string / hidl_vec header: pointer, length, owns-buffer flag.
struct HidlHeader {
    uint64_t pointer;
    uint32_t size;
    uint8_t ownsBuffer;
    uint8_t pad[3];
};
static_assert(sizeof(HidlHeader) == 16, "hidl header");

template <typename T>
void put(QByteArray *buffer, int offset, T value)
{
    std::memcpy(buffer->data() + offset, &value, sizeof value);
}

void putString(QByteArray *buffer, int offset, const QByteArray &text)
{
    HidlHeader header {};
    header.size = uint32_t(text.size());
    header.ownsBuffer = 1;
    put(buffer, offset, header);
}

} // namespace

SensorInfo SensorInfo::describe(int handle, const qoutputrangelist &ranges, const qrangelist &rates)
{
    using namespace SensorUnits;
    SensorInfo info;
    info.handle = handle;
    info.type = handle;
    info.name = info.typeAsString = QByteArray(SensorUnits::name(handle));
    info.vendor = QByteArrayLiteral("Kestrel");

    double maximum = 0, accuracy = 0;
    for (int i = 0; i < ranges.size(); ++i) {
        maximum = i ? std::max(maximum, ranges[i].maximum) : ranges[i].maximum;
        accuracy = i ? std::max(accuracy, ranges[i].accuracy) : ranges[i].accuracy;
    }
    info.maxRange = float(toAndroid(handle, maximum));
    info.resolution = float(toAndroid(handle, accuracy));
    if (handle == Proximity)
        info.maxRange = kProximityFar;
    if (handle == DeviceOrientation) {
        info.maxRange = 3;
        info.resolution = 1;
    }

    // A backend may give a lower bound of 0 ("as slow as you like"): that
    // is no delay Android can use, not a division by zero.
    int fastest = 0, slowest = 0;
    for (int i = 0; i < rates.size(); ++i) {
        fastest = i ? std::max(fastest, rates[i].second) : rates[i].second;
        slowest = i ? std::min(slowest, rates[i].first) : rates[i].first;
    }
    const bool onChange = handle == Light || handle == Proximity || handle == DeviceOrientation;
    info.minDelay = !onChange && fastest > 0 ? 1000000 / fastest : 0;
    info.maxDelay = slowest > 0 ? 1000000 / slowest : 0;
    info.flags = handle == Proximity ? uint32_t(WakeUp | OnChange) : onChange ? uint32_t(OnChange) : 0u;
    return info;
}

QByteArray SensorInfo::element() const
{
    QByteArray e(kSize, '\0');
    put(&e, 0, handle);
    putString(&e, kNameOffset, name);
    putString(&e, kVendorOffset, vendor);
    put(&e, 40, version);
    put(&e, 44, type);
    putString(&e, kTypeAsStringOffset, typeAsString);
    put(&e, 64, maxRange);
    put(&e, 68, resolution);
    put(&e, 72, power);
    put(&e, 76, minDelay);
    put(&e, 80, fifoReservedEventCount);
    put(&e, 84, fifoMaxEventCount);
    putString(&e, kRequiredPermissionOffset, requiredPermission);
    put(&e, 104, maxDelay);
    put(&e, 108, flags);
    return e;
}

void SensorInfo::appendVector(ferry::binder::Writer &writer, const QVector<SensorInfo> &infos)
{
    QByteArray array;
    for (const SensorInfo &info : infos)
        array += info.element();
    HidlHeader header {};
    header.size = uint32_t(infos.size());
    header.ownsBuffer = 1;
    const uint32_t headerIndex = writer.appendBufferObject(&header, sizeof header, nullptr);
    const BufferParent arrayParent {headerIndex, 0};
    const uint32_t arrayIndex = writer.appendBufferObject(array.constData(), size_t(array.size()), &arrayParent);
    // The kernel wants the children of one parent in ascending offsets.
    for (int k = 0; k < infos.size(); ++k) {
        const SensorInfo &info = infos[k];
        const struct {
            int offset;
            const QByteArray &text;
        } strings[] = {{kNameOffset, info.name},
                       {kVendorOffset, info.vendor},
                       {kTypeAsStringOffset, info.typeAsString},
                       {kRequiredPermissionOffset, info.requiredPermission}};
        for (const auto &s : strings) {
            const BufferParent parent {arrayIndex, size_t(k) * kSize + size_t(s.offset)};
            writer.appendBufferObject(s.text.constData(), size_t(s.text.size()) + 1, &parent);
        }
    }
}
