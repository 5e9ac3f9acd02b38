// Android's supplicant HAL client (SupplicantStaIfaceHal on ISupplicant
// 1.0): getting the station interface, registering for its events, and
// connecting to a network.
//
// op "supplicant-start": ISupplicant registerCallback (3, logged as
// "supplicant-events"), getInterface (1, station "wlan0") kept as
// "staIface", its registerCallback (14, the station interface callback
// logged as "callback", default "sta-iface-events") and getMacAddress (24).
// op "connect": addNetwork (3) kept as "network", setSsid (5, "ssid", hex
// of UTF-8), then select (66): the host then reports the state to the
// station interface callback.
// op "select": select (66) on the network kept before.
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

QJsonObject callback(const char *interface, const QString &name)
{
    return {{QStringLiteral("binder"), QJsonObject{{QStringLiteral("interface"), QLatin1String(interface)},
                                                   {QStringLiteral("name"), name}}}};
}

} // namespace

QJsonArray supplicantSteps(const QString &op, const QJsonObject &step)
{
    const QJsonArray status{QStringLiteral("status")};
    const QJsonArray select{call("network", 66, {}, status)};
    if (op == QLatin1String("supplicant-start")) {
        const QString name = step.value(QStringLiteral("callback")).toString(QStringLiteral("sta-iface-events"));
        return {
            call("supplicant", 3, {callback("android.hardware.wifi.supplicant@1.0::ISupplicantCallback",
                                            QStringLiteral("supplicant-events"))}, status),
            call("supplicant", 1, {QJsonObject{{QStringLiteral("iface_info"), QStringLiteral("wlan0")}}},
                 {QStringLiteral("status"), QStringLiteral("object")}, "staIface"),
            call("staIface", 14, {callback("android.hardware.wifi.supplicant@1.0::ISupplicantStaIfaceCallback", name)}, status),
            call("staIface", 24, {}, {QStringLiteral("status"), QStringLiteral("mac")}),
        };
    }
    if (op == QLatin1String("connect")) {
        const QString ssid = step.value(QStringLiteral("ssid")).toString(QStringLiteral("AndroidAP"));
        return {
            call("staIface", 3, {}, {QStringLiteral("status"), QStringLiteral("object")}, "network"),
            call("network", 5, {QJsonObject{{QStringLiteral("bytes_vec"), QString::fromLatin1(ssid.toUtf8().toHex())}}}, status),
            select[0],
        };
    }
    if (op == QLatin1String("select"))
        return select;
    return {};
}
