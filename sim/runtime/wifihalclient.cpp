// Android's Wi-Fi vendor HAL client (HalDeviceManager and WifiVendorHal
// on IWifi 1.0): the sequence that brings up a station interface.
//
// op "hal-start": IWifi registerEventCallback (1) with a callback logged
// as "wifi-events", start (3), getChipIds (5), getChip (6) of the first id
// kept as "chip"; chip registerEventCallback (2, "chip-events"),
// getAvailableModes (4), createStaIface (22) kept as "sta"; the station
// interface's getName (2) and registerEventCallback (3, "sta-events");
// createRttController (26, bound to the station interface) kept as "rtt"
// and its registerEventCallback (2, "rtt-events").
#include "wifistack.h"

namespace {

QJsonObject call(const char *target, int code, const QJsonArray &args, const QJsonArray &reply,
                 const char *keep = nullptr)
{
    QJsonObject step{{QStringLiteral("target"), QLatin1String(target)}, {QStringLiteral("code"), code},
                     {QStringLiteral("args"), args}, {QStringLiteral("reply"), reply}};
    if (keep)
        step.insert(QStringLiteral("keep"), QLatin1String(keep));
    return step;
}

QJsonObject callback(const char *interface, const char *name)
{
    return {{QStringLiteral("binder"), QJsonObject{{QStringLiteral("interface"), QLatin1String(interface)},
                                                   {QStringLiteral("name"), QLatin1String(name)}}}};
}

} // namespace

QJsonArray wifiHalSteps(const QString &op, const QJsonObject &)
{
    if (op != QLatin1String("hal-start"))
        return {};
    const QJsonArray status{QStringLiteral("status")};
    return {
        call("wifi", 1, {callback("android.hardware.wifi@1.0::IWifiEventCallback", "wifi-events")}, status),
        call("wifi", 3, {}, status),
        call("wifi", 5, {}, {QStringLiteral("status"), QStringLiteral("vec32")}),
        call("wifi", 6, {QJsonObject{{QStringLiteral("u32"), 0}}}, {QStringLiteral("status"), QStringLiteral("object")}, "chip"),
        call("chip", 2, {callback("android.hardware.wifi@1.0::IWifiChipEventCallback", "chip-events")}, status),
        call("chip", 4, {}, {QStringLiteral("status"), QStringLiteral("chipmodes")}),
        call("chip", 22, {}, {QStringLiteral("status"), QStringLiteral("object")}, "sta"),
        call("sta", 2, {}, {QStringLiteral("status"), QStringLiteral("string")}),
        call("sta", 3, {callback("android.hardware.wifi@1.0::IWifiStaIfaceEventCallback", "sta-events")}, status),
        call("chip", 26, {QJsonObject{{QStringLiteral("object"), QStringLiteral("sta")}}},
             {QStringLiteral("status"), QStringLiteral("object")}, "rtt"),
        call("rtt", 2, {callback("android.hardware.wifi@1.0::IWifiRttControllerEventCallback", "rtt-events")}, status),
    };
}
