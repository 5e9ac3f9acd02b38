#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

class QGeoSatelliteInfo;

// Android's satellite status as the GNSS HAL lays it out: GnssSvInfo 1.0
// (24 bytes), 2.0 (28: the 1.0 entry and the constellation again) and 2.1
// (40: the 2.0 entry and a basebandCN0DbHz double), and the 1.0
// GnssSvStatus (a count and room for 64 entries).
namespace GnssSvStatus {

enum Constellation : uint8_t {
    Unknown = 0,
    Gps = 1,
    Sbas = 2,
    Glonass = 3,
    Qzss = 4,
    Beidou = 5,
    Galileo = 6,
};

enum SvFlag : uint8_t {
    UsedInFix = 4,
};

constexpr int kMaxSvs10 = 64;
constexpr int kInfoSize10 = 24;
constexpr int kInfoSize20 = 28;
constexpr int kInfoSize21 = 40;
constexpr int kStatusSize10 = 4 + kMaxSvs10 * kInfoSize10;

// Android's svid and constellation for an NMEA satellite number.
int16_t svid(int nmeaId, Constellation *constellation);

// One entry per satellite in view; |entrySize| is one of the kInfoSize
// values. Satellites also in |inUse| (same identifier) carry UsedInFix.
QByteArray svInfos(const QList<QGeoSatelliteInfo> &inView, const QList<QGeoSatelliteInfo> &inUse,
                   int entrySize);

// The 1.0 status: the satellites past the 64 it has room for are left out.
QByteArray status10(const QList<QGeoSatelliteInfo> &inView, const QList<QGeoSatelliteInfo> &inUse);

} // namespace GnssSvStatus
