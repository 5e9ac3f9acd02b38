#include "sensors/sensorevent.h"
#include "sensors/sensoreventqueue.h"
#include "sensors/sensorinfo.h"

#include <QAccelerometerReading>
#include <QGyroscopeReading>
#include <QLightReading>
#include <QMagnetometerReading>
#include <QOrientationReading>
#include <QPressureReading>
#include <QProximityReading>

#include <ferry/binder/writer.h>
#include <linux/android/binder.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

template <typename T>
T at(const void *buffer, size_t offset)
{
    T value;
    std::memcpy(&value, static_cast<const char *>(buffer) + offset, sizeof value);
    return value;
}

qoutputrange range(double min, double max, double accuracy)
{
    qoutputrange r;
    r.minimum = min;
    r.maximum = max;
    r.accuracy = accuracy;
    return r;
}

TEST(SensorInfo, DescribesEachKindInAndroidUnits)
{
    const struct {
        int handle;
        qoutputrangelist ranges;
        qrangelist rates;
        float maxRange, resolution;
        int32_t minDelay, maxDelay;
        uint32_t flags;
        const char *name;
    } cases[] = {
        {1, {range(-20, 39.2, 0.01), range(-10, 19.6, 0.005)}, {{1, 100}, {5, 200}}, 39.2f, 0.01f, 5000, 1000000, 0, "accelerometer"},
        {2, {range(-0.005, 0.005, 1e-7)}, {{10, 50}}, 5000.0f, 0.1f, 20000, 100000, 0, "magnetometer"},
        {4, {range(-2000, 2000, 0.5)}, {{2, 400}}, float(2000 / 57.295799255371094), float(0.5 / 57.295799255371094), 2500, 500000, 0, "gyroscope"},
        {5, {range(0, 10000, 1)}, {{1, 10}}, 10000.0f, 1.0f, 0, 1000000, 2, "light"},
        {6, {range(30000, 110000, 10)}, {}, 1100.0f, 0.1f, 0, 0, 0, "pressure"},
        {8, {range(0, 1, 1)}, {{1, 1}}, 5.0f, 1.0f, 0, 1000000, 3, "proximity"},
        {27, {}, {{1, 5}}, 3.0f, 1.0f, 0, 1000000, 2, "device orientation"},
        // A rate range starting at 0 is no maximum delay (not a division by zero).
        {1, {}, {{0, 0}}, 0.0f, 0.0f, 0, 0, 0, "accelerometer"},
        {99, {}, {}, 0.0f, 0.0f, 0, 0, 0, "unknown sensor"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const SensorInfo info = SensorInfo::describe(c.handle, c.ranges, c.rates);
        EXPECT_FLOAT_EQ(info.maxRange, c.maxRange);
        EXPECT_FLOAT_EQ(info.resolution, c.resolution);
        EXPECT_EQ(info.minDelay, c.minDelay);
        EXPECT_EQ(info.maxDelay, c.maxDelay);
        EXPECT_EQ(info.flags, c.flags);
        EXPECT_EQ(info.name, QByteArray(c.name));
        EXPECT_EQ(info.typeAsString, info.name);
        EXPECT_EQ(info.type, c.handle);
    }
}

TEST(SensorInfo, ElementAndVectorLayout)
{
    QVector<SensorInfo> infos {SensorInfo::describe(1, {range(-20, 39.2, 0.01)}, {{1, 100}}),
                               SensorInfo::describe(27, {}, {})};
    infos[1].requiredPermission = "perm";
    const QByteArray e = infos[0].element();
    ASSERT_EQ(e.size(), 112);
    EXPECT_EQ(at<int32_t>(e.constData(), 0), 1);
    EXPECT_EQ(at<uint32_t>(e.constData(), 16), 13u);   // name length, owns-buffer after it
    EXPECT_EQ(at<uint8_t>(e.constData(), 20), 1);
    EXPECT_EQ(at<uint32_t>(e.constData(), 32), 7u);    // "Kestrel"
    EXPECT_EQ(at<int32_t>(e.constData(), 40), 1);      // version
    EXPECT_EQ(at<int32_t>(e.constData(), 44), 1);      // type
    EXPECT_EQ(at<uint32_t>(e.constData(), 56), 13u);   // typeAsString
    EXPECT_FLOAT_EQ(at<float>(e.constData(), 64), 39.2f);
    EXPECT_FLOAT_EQ(at<float>(e.constData(), 68), 0.01f);
    EXPECT_EQ(at<int32_t>(e.constData(), 76), 10000);
    EXPECT_EQ(at<uint32_t>(e.constData(), 96), 0u);    // requiredPermission ""
    EXPECT_EQ(at<int32_t>(e.constData(), 104), 1000000);
    EXPECT_EQ(at<uint32_t>(e.constData(), 108), 0u);

    ferry::binder::Writer writer;
    SensorInfo::appendVector(writer, infos);
    const auto &offsets = writer.objectOffsets();
    ASSERT_EQ(offsets.size(), 2u + 4u * 2u);
    const auto object = [&](size_t i) { return at<binder_buffer_object>(writer.data().data(), offsets[i]); };
    EXPECT_EQ(at<uint32_t>(reinterpret_cast<const void *>(object(0).buffer), 8), 2u);   // vector count
    EXPECT_EQ(object(1).length, 224u);
    EXPECT_EQ(object(1).parent, 0u);
    const struct {
        size_t index;
        size_t parentOffset;
        const char *text;
    } strings[] = {{2, 8, "accelerometer"}, {3, 24, "Kestrel"}, {4, 48, "accelerometer"}, {5, 88, ""},
                   {6, 112 + 8, "device orientation"}, {9, 112 + 88, "perm"}};
    for (const auto &s : strings) {
        SCOPED_TRACE(s.text);
        const binder_buffer_object o = object(s.index);
        EXPECT_EQ(o.flags, uint32_t(BINDER_BUFFER_FLAG_HAS_PARENT));
        EXPECT_EQ(o.parent, 1u);
        EXPECT_EQ(o.parent_offset, s.parentOffset);
        ASSERT_EQ(o.length, std::strlen(s.text) + 1);   // with its NUL
        EXPECT_STREQ(reinterpret_cast<const char *>(o.buffer), s.text);
    }
}

TEST(SensorEvent, ReadingsInAndroidUnits)
{
    QAccelerometerReading accel(nullptr);
    accel.setX(1.5), accel.setY(-9.81), accel.setZ(0.25);
    QMagnetometerReading magnet(nullptr);
    magnet.setX(0.00002), magnet.setY(-0.00004), magnet.setZ(0);
    QGyroscopeReading gyro(nullptr);
    gyro.setX(57.295799255371094), gyro.setY(-114.59159851074219), gyro.setZ(0);
    QLightReading light(nullptr);
    light.setLux(320);
    QPressureReading pressure(nullptr);
    pressure.setPressure(101325);
    QProximityReading near(nullptr), far(nullptr);
    near.setClose(true);
    far.setClose(false);
    QOrientationReading orientation(nullptr);

    const struct {
        int handle;
        QSensorReading *reading;
        float values[3];
        bool vec3;
    } cases[] = {
        {1, &accel, {1.5f, -9.81f, 0.25f}, true},
        {2, &magnet, {20.0f, -40.0f, 0.0f}, true},
        {4, &gyro, {1.0f, -2.0f, 0.0f}, true},
        {5, &light, {320.0f}, false},
        {6, &pressure, {1013.25f}, false},
        {8, &near, {0.0f}, false},
        {8, &far, {5.0f}, false},
        {27, &orientation, {3.0f}, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.handle);
        c.reading->setTimestamp(1234567);
        SensorEvent event;
        ASSERT_TRUE(SensorEvent::fromReading(c.handle, c.reading, 3, &event));
        EXPECT_EQ(event.timestamp, 1234567000);
        EXPECT_EQ(event.sensorHandle, c.handle);
        EXPECT_EQ(event.sensorType, c.handle);
        const char *raw = reinterpret_cast<const char *>(&event);
        EXPECT_FLOAT_EQ(at<float>(raw, 16), c.values[0]);
        if (c.vec3) {
            EXPECT_FLOAT_EQ(at<float>(raw, 20), c.values[1]);
            EXPECT_FLOAT_EQ(at<float>(raw, 24), c.values[2]);
            EXPECT_EQ(at<int8_t>(raw, 28), 2);   // status after the three floats
        } else {
            EXPECT_EQ(at<float>(raw, 20), 0.0f);
        }
    }
    SensorEvent event;
    EXPECT_FALSE(SensorEvent::fromReading(27, &orientation, -1, &event));   // face up/down, or locked
    EXPECT_FALSE(SensorEvent::fromReading(1, &light, 0, &event));          // reading of another kind
    EXPECT_FALSE(SensorEvent::fromReading(1, nullptr, 0, &event));

    const SensorEvent flush = SensorEvent::flushComplete(4);
    const char *raw = reinterpret_cast<const char *>(&flush);
    EXPECT_EQ(at<int64_t>(raw, 0), 0);
    EXPECT_EQ(at<int32_t>(raw, 8), 4);
    EXPECT_EQ(at<int32_t>(raw, 12), 0);
    EXPECT_EQ(at<uint32_t>(raw, 16), 1u);
}

TEST(SensorOrientation, FollowsTheReadingUnlessLocked)
{
    using O = QOrientationReading;
    const struct {
        const char *lock;
        int qt;
        int forReading, forLockChange;
    } cases[] = {
        {"", O::TopUp, 0, 0},
        {"dynamic", O::TopDown, 2, 2},
        {"dynamic", O::LeftUp, 3, 3},
        {"dynamic", O::RightUp, 1, 1},
        {"dynamic", O::FaceUp, -1, -1},
        {"dynamic", O::FaceDown, -1, -1},
        {"dynamic", O::Undefined, 0, 0},
        {"landscape", O::TopUp, -1, 1},
        {"portrait-inverted", O::TopUp, -1, 2},
        {"landscape-inverted", O::FaceUp, -1, 3},
        {"portrait", O::LeftUp, -1, 0},
        {"anything", O::LeftUp, -1, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.lock) + " " + std::to_string(c.qt));
        EXPECT_EQ(SensorOrientation::forReading(QString::fromLatin1(c.lock), c.qt), c.forReading);
        EXPECT_EQ(SensorOrientation::forLockChange(QString::fromLatin1(c.lock), c.qt), c.forLockChange);
    }
}

TEST(SensorEventQueue, BoundedOldestFirst)
{
    SensorEventQueue queue(3);
    for (int i = 1; i <= 5; ++i) {
        SensorEvent e;
        e.timestamp = i;
        e.sensorHandle = i % 2 ? 1 : 4;
        queue.push(e);
    }
    EXPECT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue.dropped(), 2u);
    queue.removeHandle(4);   // drops 4, keeps 3 and 5
    QVector<SensorEvent> taken = queue.take(10);
    ASSERT_EQ(taken.size(), 2);
    EXPECT_EQ(taken[0].timestamp, 3);
    EXPECT_EQ(taken[1].timestamp, 5);
    EXPECT_TRUE(queue.take(-1).isEmpty());
}

} // namespace
