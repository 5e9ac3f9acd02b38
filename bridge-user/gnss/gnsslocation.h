#pragma once

#include <QByteArray>

class QGeoPositionInfo;

// Android's GnssLocation as the GNSS HAL lays it out in memory: the 1.0
// structure (64 bytes) and the 2.0 one (88 bytes: the 1.0 structure and an
// elapsed-realtime part, left zero).
namespace GnssLocation {

enum Flag : uint16_t {
    HasLatLong = 1,
    HasAltitude = 2,
    HasSpeed = 4,
    HasBearing = 8,
    HasHorizontalAccuracy = 16,
    HasVerticalAccuracy = 32,
};

constexpr int kSize10 = 64;
constexpr int kSize20 = 88;

QByteArray fromPosition(const QGeoPositionInfo &position, bool version20);

} // namespace GnssLocation
