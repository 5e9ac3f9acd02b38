#include "gnss/gnsslocation.h"
#include "gnss/gnsssvstatus.h"

#include <QGeoPositionInfo>
#include <QGeoSatelliteInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

template <typename T>
T at(const QByteArray &buffer, int offset)
{
    T value;
    std::memcpy(&value, buffer.constData() + offset, sizeof value);
    return value;
}

QGeoSatelliteInfo satellite(int id, double strength, double elevation = -1, double azimuth = -1)
{
    QGeoSatelliteInfo info;
    info.setSatelliteIdentifier(id);
    info.setSignalStrength(int(strength));
    if (elevation >= 0)
        info.setAttribute(QGeoSatelliteInfo::Elevation, elevation);
    if (azimuth >= 0)
        info.setAttribute(QGeoSatelliteInfo::Azimuth, azimuth);
    return info;
}

TEST(GnssLocation, LaysOutEveryFieldOfBothVersions)
{
    QGeoPositionInfo position(QGeoCoordinate(48.5, 9.25, 420.0),
                              QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC));
    position.setAttribute(QGeoPositionInfo::GroundSpeed, 3.5);
    position.setAttribute(QGeoPositionInfo::Direction, 270.0);
    position.setAttribute(QGeoPositionInfo::HorizontalAccuracy, 5.0);
    position.setAttribute(QGeoPositionInfo::VerticalAccuracy, 8.0);

    for (bool v20 : {false, true}) {
        SCOPED_TRACE(v20);
        const QByteArray b = GnssLocation::fromPosition(position, v20);
        ASSERT_EQ(b.size(), v20 ? 88 : 64);
        EXPECT_EQ(at<uint16_t>(b, 0), 1 | 2 | 4 | 8 | 16 | 32);
        EXPECT_EQ(at<double>(b, 8), 48.5);
        EXPECT_EQ(at<double>(b, 16), 9.25);
        EXPECT_EQ(at<double>(b, 24), 420.0);
        EXPECT_EQ(at<float>(b, 32), 3.5f);
        EXPECT_EQ(at<float>(b, 36), 270.0f);
        EXPECT_EQ(at<float>(b, 40), 5.0f);
        EXPECT_EQ(at<float>(b, 44), 8.0f);
        EXPECT_EQ(at<float>(b, 48), 0.0f);   // speed and bearing accuracy never set
        EXPECT_EQ(at<float>(b, 52), 0.0f);
        EXPECT_EQ(at<int64_t>(b, 56), 1700000000123);
        if (v20) {
            EXPECT_EQ(b.mid(64), QByteArray(24, '\0'));
        }
    }
}

TEST(GnssLocation, SpeedFlagWithoutSpeedAndNoAltitudeForA2DFix)
{
    const QGeoPositionInfo position(QGeoCoordinate(1.0, 2.0), QDateTime::fromMSecsSinceEpoch(5, Qt::UTC));
    const QByteArray b = GnssLocation::fromPosition(position, false);
    EXPECT_EQ(at<uint16_t>(b, 0), 1 | 4);
    EXPECT_EQ(at<float>(b, 32), 0.0f);
    EXPECT_FALSE(std::isnan(at<double>(b, 24)));
}

TEST(GnssSvStatus, NmeaNumbering)
{
    struct Case {
        int id;
        int16_t svid;
        GnssSvStatus::Constellation constellation;
    } const cases[] = {
        {1, 1, GnssSvStatus::Gps},         {32, 32, GnssSvStatus::Gps},
        {33, 120, GnssSvStatus::Sbas},     {40, 127, GnssSvStatus::Sbas},
        {54, 141, GnssSvStatus::Sbas},     {55, 55, GnssSvStatus::Unknown},
        {65, 1, GnssSvStatus::Glonass},    {70, 6, GnssSvStatus::Glonass},
        {96, 32, GnssSvStatus::Glonass},   {97, 97, GnssSvStatus::Unknown},
        {193, 193, GnssSvStatus::Qzss},    {200, 200, GnssSvStatus::Qzss},
        {201, 1, GnssSvStatus::Beidou},    {235, 35, GnssSvStatus::Beidou},
        {301, 1, GnssSvStatus::Galileo},   {336, 36, GnssSvStatus::Galileo},
        {0, 0, GnssSvStatus::Unknown},     {-3, -3, GnssSvStatus::Unknown},
    };
    for (const Case &c : cases) {
        GnssSvStatus::Constellation constellation = GnssSvStatus::Galileo;
        EXPECT_EQ(GnssSvStatus::svid(c.id, &constellation), c.svid) << c.id;
        EXPECT_EQ(constellation, c.constellation) << c.id;
    }
}

TEST(GnssSvStatus, EntriesOfEachVersion)
{
    const QList<QGeoSatelliteInfo> inView{satellite(70, 31, 45.0, 180.0), satellite(5, 20)};
    const QList<QGeoSatelliteInfo> inUse{satellite(5, 20)};

    for (int size : {GnssSvStatus::kInfoSize10, GnssSvStatus::kInfoSize20, GnssSvStatus::kInfoSize21}) {
        SCOPED_TRACE(size);
        const QByteArray b = GnssSvStatus::svInfos(inView, inUse, size);
        ASSERT_EQ(b.size(), 2 * size);
        EXPECT_EQ(at<int16_t>(b, 0), 6);
        EXPECT_EQ(at<uint8_t>(b, 2), GnssSvStatus::Glonass);
        EXPECT_EQ(at<float>(b, 4), 31.0f);
        EXPECT_EQ(at<float>(b, 8), 45.0f);
        EXPECT_EQ(at<float>(b, 12), 180.0f);
        EXPECT_EQ(at<float>(b, 16), 0.0f);
        EXPECT_EQ(at<uint8_t>(b, 20), 0);
        EXPECT_EQ(at<int16_t>(b, size), 5);
        EXPECT_EQ(at<float>(b, size + 8), 0.0f);   // no elevation attribute
        EXPECT_EQ(at<uint8_t>(b, size + 20), GnssSvStatus::UsedInFix);
        if (size >= GnssSvStatus::kInfoSize20) {
            EXPECT_EQ(at<uint8_t>(b, 24), GnssSvStatus::Glonass);
        }
        if (size == GnssSvStatus::kInfoSize21) {
            EXPECT_EQ(at<double>(b, 32), 0.0);
        }
    }
}

TEST(GnssSvStatus, Status10HoldsAtMost64)
{
    for (int count : {0, 3, 64, 100}) {
        QList<QGeoSatelliteInfo> inView;
        for (int i = 0; i < count; ++i)
            inView.append(satellite(i + 1, 10));
        const QByteArray b = GnssSvStatus::status10(inView, {});
        ASSERT_EQ(b.size(), 1540);
        EXPECT_EQ(at<uint32_t>(b, 0), uint32_t(qMin(count, 64)));
        if (count > 0) {
            EXPECT_EQ(at<int16_t>(b, 4 + (qMin(count, 64) - 1) * 24), int16_t(qMin(count, 64)));
        }
    }
}

} // namespace
