#include "gnsssvstatus.h"

#include <QGeoSatelliteInfo>

#include <cstring>

namespace {

template <typename T>
void put(char *entry, int offset, T value)
{
    std::memcpy(entry + offset, &value, sizeof value);
}

float attributeOrZero(const QGeoSatelliteInfo &satellite, QGeoSatelliteInfo::Attribute attribute)
{
    return satellite.hasAttribute(attribute) ? float(satellite.attribute(attribute)) : 0.0f;
}

bool contains(const QList<QGeoSatelliteInfo> &list, int id)
{
    for (const QGeoSatelliteInfo &satellite : list) {
        if (satellite.satelliteIdentifier() == id)
            return true;
    }
    return false;
}

void writeEntry(char *entry, const QGeoSatelliteInfo &satellite, bool used, int entrySize)
{
    GnssSvStatus::Constellation constellation = GnssSvStatus::Unknown;
    put(entry, 0, GnssSvStatus::svid(satellite.satelliteIdentifier(), &constellation));
    put(entry, 2, uint8_t(constellation));
    put(entry, 4, float(satellite.signalStrength()));
    put(entry, 8, attributeOrZero(satellite, QGeoSatelliteInfo::Elevation));
    put(entry, 12, attributeOrZero(satellite, QGeoSatelliteInfo::Azimuth));
    put(entry, 20, uint8_t(used ? GnssSvStatus::UsedInFix : 0));
    if (entrySize >= GnssSvStatus::kInfoSize20)
        put(entry, 24, uint8_t(constellation));
}

} // namespace

int16_t GnssSvStatus::svid(int nmeaId, Constellation *constellation)
{
    struct Range {
        int first, last;
        Constellation constellation;
        int offset;
    };
    static const Range kRanges[] = {
        {1, 32, Gps, 0},         {33, 54, Sbas, 87},     {65, 96, Glonass, -64},
        {193, 200, Qzss, 0},     {201, 235, Beidou, -200}, {301, 336, Galileo, -300},
    };
    for (const Range &range : kRanges) {
        if (nmeaId >= range.first && nmeaId <= range.last) {
            *constellation = range.constellation;
            return int16_t(nmeaId + range.offset);
        }
    }
    *constellation = Unknown;
    return int16_t(nmeaId);
}

QByteArray GnssSvStatus::svInfos(const QList<QGeoSatelliteInfo> &inView,
                                 const QList<QGeoSatelliteInfo> &inUse, int entrySize)
{
    QByteArray buffer(inView.size() * entrySize, '\0');
    for (int i = 0; i < inView.size(); ++i)
        writeEntry(buffer.data() + i * entrySize, inView.at(i),
                   contains(inUse, inView.at(i).satelliteIdentifier()), entrySize);
    return buffer;
}

QByteArray GnssSvStatus::status10(const QList<QGeoSatelliteInfo> &inView,
                                  const QList<QGeoSatelliteInfo> &inUse)
{
    QByteArray buffer(kStatusSize10, '\0');
    const int count = qMin(inView.size(), kMaxSvs10);
    put(buffer.data(), 0, uint32_t(count));
    for (int i = 0; i < count; ++i)
        writeEntry(buffer.data() + 4 + i * kInfoSize10, inView.at(i),
                   contains(inUse, inView.at(i).satelliteIdentifier()), kInfoSize10);
    return buffer;
}
