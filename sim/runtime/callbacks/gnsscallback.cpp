// Android's location service as the GNSS HAL's client: the callback object
// it hands to IGnss::setCallback*, decoding what the HAL sends.
//
// Codes (declared by): 1 gnssLocationCb(GnssLocation 1.0, one 64-byte
// buffer), 2 gnssStatusCb(int32), 3 gnssSvStatusCb(GnssSvStatus 1.0, one
// 1540-byte buffer: uint32 count, 64 entries of 24 bytes), 5
// gnssSetCapabilitesCb(uint32), 9 gnssSetSystemInfoCb(2-byte buffer,
// yearOfHw) — all 1.0; 13 gnssLocationCb_2_0 (88-byte buffer) and 15
// gnssSvStatusCb_2_0 (vec of 28-byte entries) — 2.0; 17 gnssSvStatusCb_2_1
// (vec of 40-byte entries) — 2.1.
#include "simcallback.h"

#include <ferry/binder/reader.h>

#include <QJsonArray>

#include <cstring>

using ferry::binder::Reader;

namespace {

template <typename T>
T at(const uint8_t *data, size_t offset)
{
    T value;
    std::memcpy(&value, data + offset, sizeof value);
    return value;
}

QJsonObject location(const uint8_t *b, size_t size)
{
    return {
        {QStringLiteral("size"), qint64(size)},
        {QStringLiteral("flags"), at<uint16_t>(b, 0)},
        {QStringLiteral("lat"), at<double>(b, 8)},
        {QStringLiteral("lon"), at<double>(b, 16)},
        {QStringLiteral("alt"), at<double>(b, 24)},
        {QStringLiteral("speed"), at<float>(b, 32)},
        {QStringLiteral("bearing"), at<float>(b, 36)},
        {QStringLiteral("hacc"), at<float>(b, 40)},
        {QStringLiteral("vacc"), at<float>(b, 44)},
        {QStringLiteral("time"), qint64(at<int64_t>(b, 56))},
    };
}

QJsonArray svInfos(const uint8_t *b, size_t count, size_t entrySize)
{
    QJsonArray list;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t *e = b + i * entrySize;
        QJsonObject sv{
            {QStringLiteral("svid"), at<int16_t>(e, 0)},
            {QStringLiteral("constellation"), at<uint8_t>(e, 2)},
            {QStringLiteral("cn0"), at<float>(e, 4)},
            {QStringLiteral("elevation"), at<float>(e, 8)},
            {QStringLiteral("azimuth"), at<float>(e, 12)},
            {QStringLiteral("flags"), at<uint8_t>(e, 20)},
        };
        if (entrySize >= 28)
            sv.insert(QStringLiteral("constellation2"), at<uint8_t>(e, 24));
        list.append(sv);
    }
    return list;
}

void decodeGnss(uint32_t code, Reader &in, QJsonObject *line)
{
    const void *data = nullptr;
    size_t size = 0;
    switch (code) {
    case 1:
    case 13:
        if (in.readBufferObject(&data, &size) && size >= 64)
            line->insert(QStringLiteral("location"), location(static_cast<const uint8_t *>(data), size));
        break;
    case 2:
    case 5: {
        int32_t value = 0;
        if (in.readInt32(&value))
            line->insert(code == 2 ? QStringLiteral("status") : QStringLiteral("capabilities"), value);
        break;
    }
    case 3:
        if (in.readBufferObject(&data, &size) && size == 1540) {
            const auto *b = static_cast<const uint8_t *>(data);
            const uint32_t count = at<uint32_t>(b, 0);
            line->insert(QStringLiteral("numSvs"), qint64(count));
            line->insert(QStringLiteral("svs"), svInfos(b + 4, qMin<uint32_t>(count, 64), 24));
        }
        break;
    case 9:
        if (in.readBufferObject(&data, &size) && size >= 2)
            line->insert(QStringLiteral("yearOfHw"), at<uint16_t>(static_cast<const uint8_t *>(data), 0));
        break;
    case 15:
    case 17: {
        const size_t entrySize = code == 15 ? 28 : 40;
        size_t count = 0;
        if (in.readHidlVec(&data, &count, entrySize)) {
            line->insert(QStringLiteral("numSvs"), qint64(count));
            line->insert(QStringLiteral("svs"), svInfos(static_cast<const uint8_t *>(data), count, entrySize));
        }
        break;
    }
    default:
        break;
    }
}

const QStringList kChain21{
    QStringLiteral("android.hardware.gnss@2.1::IGnssCallback"),
    QStringLiteral("android.hardware.gnss@2.0::IGnssCallback"),
    QStringLiteral("android.hardware.gnss@1.1::IGnssCallback"),
    QStringLiteral("android.hardware.gnss@1.0::IGnssCallback"),
};

} // namespace

FERRY_SIM_CALLBACK("android.hardware.gnss@2.1::IGnssCallback", kChain21, decodeGnss)
FERRY_SIM_CALLBACK("android.hardware.gnss@2.0::IGnssCallback", kChain21.mid(1), decodeGnss)
FERRY_SIM_CALLBACK("android.hardware.gnss@1.1::IGnssCallback", kChain21.mid(2), decodeGnss)
FERRY_SIM_CALLBACK("android.hardware.gnss@1.0::IGnssCallback", kChain21.mid(3), decodeGnss)
