#include "gnsslocation.h"

#include <QGeoPositionInfo>

#include <cstring>

namespace {

template <typename T>
void put(QByteArray &buffer, int offset, T value)
{
    std::memcpy(buffer.data() + offset, &value, sizeof value);
}

} // namespace

QByteArray GnssLocation::fromPosition(const QGeoPositionInfo &position, bool version20)
{
    QByteArray buffer(version20 ? kSize20 : kSize10, '\0');
    const QGeoCoordinate coordinate = position.coordinate();
    uint16_t flags = HasLatLong;
    put(buffer, 8, coordinate.latitude());
    put(buffer, 16, coordinate.longitude());
    // A 2D fix has no altitude (NaN in Qt): flagging it would hand Android
    // a NaN as a valid height.
    if (coordinate.type() == QGeoCoordinate::Coordinate3D) {
        flags |= HasAltitude;
        put(buffer, 24, coordinate.altitude());
    }
    put(buffer, 56, int64_t(position.timestamp().toMSecsSinceEpoch()));

    // Android's location service drops fixes without speed from some
    // consumers, so the flag is always set; 0 stands for "not moving".
    flags |= HasSpeed;
    if (position.hasAttribute(QGeoPositionInfo::GroundSpeed))
        put(buffer, 32, float(position.attribute(QGeoPositionInfo::GroundSpeed)));
    if (position.hasAttribute(QGeoPositionInfo::Direction)) {
        flags |= HasBearing;
        put(buffer, 36, float(position.attribute(QGeoPositionInfo::Direction)));
    }
    if (position.hasAttribute(QGeoPositionInfo::HorizontalAccuracy)) {
        flags |= HasHorizontalAccuracy;
        put(buffer, 40, float(position.attribute(QGeoPositionInfo::HorizontalAccuracy)));
    }
    if (position.hasAttribute(QGeoPositionInfo::VerticalAccuracy)) {
        flags |= HasVerticalAccuracy;
        put(buffer, 44, float(position.attribute(QGeoPositionInfo::VerticalAccuracy)));
    }
    put(buffer, 0, flags);
    return buffer;
}
