// The bridge's Wi-Fi monitor: the host's connected Wi-Fi network (from the
// connman stand-in on the test's system bus) registered with and withdrawn
// from the simulated runtime's "novum.connectivity".
#include "bridgeuserworld.h"
#include "connmanstandinclient.h"

#include <gtest/gtest.h>

void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

const QString kService = QStringLiteral("novum.connectivity");
BridgeUserWorld *world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new BridgeUserWorld;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        world->sim.setStartServices(kService);
        ASSERT_TRUE(world->sim.world.startProcess(QStringLiteral(FERRY_CONNMAN_STANDIN_BIN), {}, {},
                                                  QStringLiteral("ready")))
            << qPrintable(world->sim.world.errorString());
        ASSERT_TRUE(world->startBridge());
        ASSERT_TRUE(world->sim.bringUp());
    }
    void TearDown() override
    {
        world->stop();
        delete world;
        world = nullptr;
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

// What the service received, one line per call: "registerWifiNetwork|Home|..."
// with null strings as "<null>".
QStringList calls()
{
    QStringList list;
    for (const QJsonObject &line : world->sim.received(kService)) {
        QStringList parts;
        for (const QJsonValue &v : line.value(QStringLiteral("args")).toArray())
            parts << (v.isNull() ? QStringLiteral("<null>") : v.toVariant().toString());
        list << parts.join(QLatin1Char('|'));
    }
    return list;
}
// Waits for the calls after the first `from` to be `expected`.
::testing::AssertionResult callsAfter(int from, const QStringList &expected)
{
    if (TestWorld::waitFor([&] { return calls().mid(from) == expected; }, 15000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "calls: " << calls().mid(from).join(QLatin1String("\n       ")).toStdString();
}

// Android's Wi-Fi stack (the simulator) runs these steps against the
// bridge's supplicant.
bool wifiSteps(const QJsonArray &steps)
{
    const QJsonArray results =
        world->sim.command({{"cmd", "wifi"}, {"steps", steps}}, 20000).value(QStringLiteral("results")).toArray();
    for (const QJsonValue &r : results) {
        if (!r.toObject().value(QStringLiteral("ok")).toBool())
            return false;
    }
    return results.size() == steps.size();
}
// What a station callback was told: "state ssid" per onStateChanged.
QStringList stationStates(const QString &callback)
{
    QStringList states;
    for (const QJsonObject &l : world->sim.received(callback))
        states << QStringLiteral("%1 %2").arg(l.value("state").toInt()).arg(l.value("ssid").toString());
    return states;
}

const QString kHome = QStringLiteral("registerWifiNetwork|Home|02:00:00:ab:cd:ef|||true|0|true|false|-65|72|5180|"
                                     "192.168.1.23|255.255.255.0|192.168.1.1|192.168.1.1|<null>|fd00::23||fd00::1");
const QString kGone = QStringLiteral("unregisterWifiNetwork");

TEST(WifiMonitor, HostWifiIsRegisteredWithdrawnAndRegisteredAgainAfterAndroidRestarts)
{
    ConnmanStandinClient connman(QDBusConnection::systemBus());
    // Nothing is told while the host has no Wi-Fi.
    ASSERT_TRUE(connman.addService(QStringLiteral("ethernet_cable"),
                                   QVariantMap{{"Type", "ethernet"}, {"State", "online"}}));
    int from = calls().size();

    // The phone's own properties (strength 70, 72 Mbit/s, 5180 MHz) and
    // one name server.
    ASSERT_TRUE(connman.addService(QStringLiteral("wifi_home"), ConnmanStandinClient::wifi("Home", "ready")));
    ASSERT_TRUE(connman.setProperty(QStringLiteral("wifi_home"), QStringLiteral("State"), QStringLiteral("online")));
    ASSERT_TRUE(callsAfter(from, {kHome}));

    // Losing the online check is no reason to withdraw; coming back is told.
    ASSERT_TRUE(connman.setProperty(QStringLiteral("wifi_home"), QStringLiteral("State"), QStringLiteral("ready")));
    ASSERT_TRUE(connman.setProperty(QStringLiteral("wifi_home"), QStringLiteral("State"), QStringLiteral("online")));
    ASSERT_TRUE(callsAfter(from, {kHome, kHome}));

    // Android's side dies and comes back: registered again.
    const QJsonObject answer =
        world->sim.command({{"cmd", "kill-remote"}, {"service", kService}, {"republish", true}});
    ASSERT_TRUE(answer.value(QStringLiteral("ok")).toBool()) << qPrintable(answer.value("error").toString());
    from = 0;
    ASSERT_TRUE(TestWorld::waitFor([] { return calls().size() > 0 && calls().last() == kHome; }, 15000))
        << qPrintable(calls().join('\n'));
    from = calls().size();

    // Android's Wi-Fi stack selects a network while the host is online.
    const QString station = QStringLiteral("monitor-station");
    ASSERT_TRUE(wifiSteps({QJsonObject{{"op", "supplicant-start"}, {"callback", station}},
                           QJsonObject{{"op", "connect"}, {"ssid", "AndroidAP"}}}));
    ASSERT_TRUE(TestWorld::waitFor([&] { return stationStates(station) == QStringList{"9 Home"}; }, 10000))
        << qPrintable(stationStates(station).join(','));

    // The host leaves Wi-Fi: withdrawn, and the supplicant forgets the
    // station callback, so a select tells it nothing; a new callback hears
    // the last network, disconnected.
    ASSERT_TRUE(connman.setProperty(QStringLiteral("wifi_home"), QStringLiteral("State"), QStringLiteral("idle")));
    ASSERT_TRUE(callsAfter(from, {kGone}));
    const QString next = QStringLiteral("monitor-station-2");
    ASSERT_TRUE(wifiSteps({QJsonObject{{"op", "select"}}, QJsonObject{{"op", "supplicant-start"}, {"callback", next}},
                           QJsonObject{{"op", "select"}}}));
    ASSERT_TRUE(TestWorld::waitFor([&] { return stationStates(next) == QStringList{"1 Home"}; }, 10000))
        << qPrintable(stationStates(next).join(','));
    EXPECT_EQ(stationStates(station), QStringList{"9 Home"});
    // A network that goes away while online is withdrawn too.
    ASSERT_TRUE(connman.addService(QStringLiteral("wifi_cafe"), ConnmanStandinClient::wifi("Cafe", "online")));
    ASSERT_TRUE(connman.removeService(QStringLiteral("wifi_cafe")));
    ASSERT_TRUE(callsAfter(from, {kGone, QString(kHome).replace(QStringLiteral("|Home|"), QStringLiteral("|Cafe|")), kGone}));
}

} // namespace
