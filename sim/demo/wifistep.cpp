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

    if (!control.setProperty(QStringLiteral("wifi_demo"), QStringLiteral("State"), QStringLiteral("idle")))
        return fail(say, QStringLiteral("the connman stand-in refused the state change"));
    if (!TestWorld::waitFor([&] { return !sim.transactions(kService, 2).isEmpty(); }, 15000))
        return fail(say, QStringLiteral("the runtime's novum.connectivity received no withdrawal"));
    say(QStringLiteral("the host left Wi-Fi; the runtime's novum.connectivity received unregisterWifiNetwork"));
    world.stopProcess(connman);
    return 0;
}
