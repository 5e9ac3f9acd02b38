// Android's Wi-Fi framework as the supplicant's station interface callback
// (ISupplicantStaIfaceCallback 1.0), decoding the state changes the
// supplicant reports.
//
// Code 3 onStateChanged(State newState (uint32), Bssid (uint8_t[6], one
// buffer object), SupplicantNetworkId (uint32), Ssid (vec<uint8_t>)):
// logged as `state`, `bssid` ("aa:bb:cc:dd:ee:ff"), `networkId`, `ssid`
// (UTF-8). A BSSID that is not 6 bytes or an SSID longer than 32 bytes is
// an `error`.
#include "simcallback.h"

#include <ferry/binder/reader.h>

using ferry::binder::Reader;

namespace {

constexpr size_t kBssidSize = 6;
constexpr size_t kMaxSsidSize = 32;

void decodeStaIface(uint32_t code, Reader &in, QJsonObject *line)
{
    if (code != 3)
        return;
    int32_t state = 0, networkId = 0;
    const void *bssid = nullptr, *ssid = nullptr;
    size_t bssidSize = 0, ssidSize = 0;
    if (!in.readInt32(&state) || !in.readBufferObject(&bssid, &bssidSize) || !in.readInt32(&networkId)
        || !in.readHidlVec(&ssid, &ssidSize, 1)) {
        line->insert(QStringLiteral("error"), QStringLiteral("malformed onStateChanged"));
        return;
    }
    if (bssidSize != kBssidSize || ssidSize > kMaxSsidSize) {
        line->insert(QStringLiteral("error"), QStringLiteral("bssid of %1 bytes, ssid of %2").arg(bssidSize).arg(ssidSize));
        return;
    }
    line->insert(QStringLiteral("state"), state);
    line->insert(QStringLiteral("bssid"), QString::fromLatin1(QByteArray(static_cast<const char *>(bssid), int(bssidSize)).toHex(':')));
    line->insert(QStringLiteral("networkId"), networkId);
    line->insert(QStringLiteral("ssid"), QString::fromUtf8(static_cast<const char *>(ssid), int(ssidSize)));
}

} // namespace

FERRY_SIM_CALLBACK("android.hardware.wifi.supplicant@1.0::ISupplicantStaIfaceCallback",
                   QStringList{QStringLiteral("android.hardware.wifi.supplicant@1.0::ISupplicantStaIfaceCallback")},
                   decodeStaIface)
