#include "wifistep.h"

#include "connmanstandinclient.h"
#include "runtimesimclient.h"
#include "testworld.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString kService = QStringLiteral("novum.connectivity");

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

// Android's Wi-Fi stack brings up its station interface on the bridge's
// Wi-Fi HAL, supplicant and wificond, polls the signal and selects a
// network; the supplicant reports the host's network as connected.
int showNetworkSelect(const RuntimeSimClient &sim, const std::function<void(const QString &)> &say)
{
    const QString station = QStringLiteral("demo-station");
    const QJsonArray steps{QJsonObject{{"op", "hal-start"}},
                           QJsonObject{{"op", "supplicant-start"}, {"callback", station}},
                           QJsonObject{{"op", "wificond-start"}},
                           QJsonObject{{"op", "signal-poll"}},
                           QJsonObject{{"op", "connect"}, {"ssid", "Demo WLAN"}}};
    const QJsonArray results = sim.command({{"cmd", "wifi"}, {"steps", steps}}).value(QStringLiteral("results")).toArray();
    for (const QJsonValue &r : results) {
        if (!r.toObject().value(QStringLiteral("ok")).toBool())
            return fail(say, QStringLiteral("the runtime's Wi-Fi stack failed at %1").arg(r.toObject().value("op").toString()));
    }
    const QJsonArray poll = results.at(3).toObject().value("calls").toArray().at(0).toObject().value("values").toArray().at(0).toArray();
    say(QStringLiteral("the runtime's Wi-Fi stack got the chip and station interface \"wlan0\" from the Wi-Fi HAL, "
                       "registered its callbacks with the HAL and the supplicant, and polled the signal through "
                       "wificond: RSSI %1 dBm, %2 Mbit/s, %3 MHz")
            .arg(poll.at(0).toInt()).arg(poll.at(1).toInt()).arg(poll.at(2).toInt()));
    QJsonObject state;
    TestWorld::waitFor([&] {
        const QList<QJsonObject> lines = sim.transactions(station, 3);
        if (!lines.isEmpty())
            state = lines.last();
        return !state.isEmpty();
    }, 10000);
    if (state.isEmpty())
        return fail(say, QStringLiteral("the station interface callback heard nothing after select"));
    say(QStringLiteral("the runtime selected a network; its station interface callback received onStateChanged: "
                       "state %1, BSSID %2, network %3, SSID \"%4\"")
            .arg(state.value("state").toInt()).arg(state.value("bssid").toString())
            .arg(state.value("networkId").toInt()).arg(state.value("ssid").toString()));
    return 0;
}

} // namespace

int showWifiThroughBridge(TestWorld &world, const RuntimeSimClient &sim, const std::function<void(const QString &)> &say)
{
    const qint64 connman = world.startProcess(QStringLiteral(FERRY_CONNMAN_STANDIN_BIN), {}, {}, QStringLiteral("ready"));
    if (!connman)
        return fail(say, QStringLiteral("the connman stand-in did not start"));
    ConnmanStandinClient control(QDBusConnection::systemBus());
    if (!control.addService(QStringLiteral("wifi_demo"), ConnmanStandinClient::wifi(QStringLiteral("Demo WLAN"),
                                                                                    QStringLiteral("online"))))
        return fail(say, QStringLiteral("the connman stand-in refused the service: ") + control.lastError());
    say(QStringLiteral("the host's Wi-Fi \"Demo WLAN\" is online in the connman stand-in (strength 70, 72 Mbit/s, "
                       "5180 MHz)"));

    QJsonArray args;
    TestWorld::waitFor([&] {
        const QList<QJsonObject> lines = sim.transactions(kService, 1);
        if (!lines.isEmpty())
            args = lines.last().value(QStringLiteral("args")).toArray();
        return !args.isEmpty();
    }, 15000);
    if (args.size() != 20)
        return fail(say, QStringLiteral("the runtime's novum.connectivity received no registration"));
    const auto text = [](const QJsonValue &v) { return v.isNull() ? QStringLiteral("(null)") : v.toVariant().toString(); };
    say(QStringLiteral("the runtime's novum.connectivity received registerWifiNetwork: name \"%1\", address %2, "
                       "connected %3, 5 GHz %4, hidden %5, RSSI %6 dBm, %7 Mbit/s, %8 MHz, IPv4 %9/%10 via %11, "
                       "DNS %12 and %13, IPv6 %14 via %15")
            .arg(text(args.at(1)), text(args.at(2)), text(args.at(5)), text(args.at(7)), text(args.at(8)),
                 text(args.at(9)), text(args.at(10)), text(args.at(11)), text(args.at(12)))
            .arg(text(args.at(13)), text(args.at(14)), text(args.at(15)), text(args.at(16)), text(args.at(17)),
                 text(args.at(19))));

    if (showNetworkSelect(sim, say) != 0)
        return 1;

    if (!control.setProperty(QStringLiteral("wifi_demo"), QStringLiteral("State"), QStringLiteral("idle")))
        return fail(say, QStringLiteral("the connman stand-in refused the state change"));
    if (!TestWorld::waitFor([&] { return !sim.transactions(kService, 2).isEmpty(); }, 15000))
        return fail(say, QStringLiteral("the runtime's novum.connectivity received no withdrawal"));
    say(QStringLiteral("the host left Wi-Fi; the runtime's novum.connectivity received unregisterWifiNetwork"));
    world.stopProcess(connman);
    return 0;
}
