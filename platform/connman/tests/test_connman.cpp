#include "connmanstandinclient.h"
#include "networkmanager.h"
#include "networkservice.h"
#include "networktechnology.h"
#include "testworld.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

// One private system bus for the whole program (Qt's system bus connection
// is made once), with the stand-in on it.
class ConnmanWorld : public ::testing::Environment
{
public:
    void SetUp() override
    {
        TestWorld::Options options;
        options.systemd = false;
        ASSERT_TRUE(world.start(options)) << qPrintable(world.errorString());
        ASSERT_TRUE(startStandin());
    }
    void TearDown() override { world.stop(); }

    static bool startStandin()
    {
        standin = world.startProcess(QStringLiteral(FERRY_CONNMAN_STANDIN_BIN), {}, {}, QStringLiteral("ready"));
        return standin != 0;
    }
    static void stopStandin()
    {
        world.stopProcess(standin);
        standin = 0;
    }

    static TestWorld world;
    static qint64 standin;
};
TestWorld ConnmanWorld::world;
qint64 ConnmanWorld::standin = 0;
const auto *const s_env = ::testing::AddGlobalTestEnvironment(new ConnmanWorld);

bool waitFor(const std::function<bool()> &condition) { return TestWorld::waitFor(condition, 10000); }

class ConnmanTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!ConnmanWorld::standin) {
            ASSERT_TRUE(ConnmanWorld::startStandin());
        }
        ASSERT_TRUE(control.reset()) << qPrintable(control.lastError());
    }
    // The manager has seen `count` services.
    bool seen(NetworkManager &manager, int count)
    {
        return waitFor([&] { return manager.isAvailable() && manager.getServices().size() == count; });
    }

    QDBusConnection bus = QDBusConnection::systemBus();
    ConnmanStandinClient control{bus};
};

QVariantMap service(const QString &type, const QString &state)
{
    QVariantMap p = ConnmanStandinClient::wifi(type + QLatin1Char('-') + state, state);
    p.insert(QStringLiteral("Type"), type);
    return p;
}

// What a service makes of each property as connman may send it: the
// phone's own types, other widths, wrong types and out-of-range values.
TEST(NetworkServiceTest, PropertiesAreReadByTypeWithDefaults)
{
    struct Row
    {
        const char *name;
        QVariant value;
        std::function<QVariant(const NetworkService &)> read;
        QVariant expected;
    };
    const auto strength = [](const NetworkService &s) { return QVariant(s.strength()); };
    const auto maxRate = [](const NetworkService &s) { return QVariant(s.maxRate()); };
    const auto frequency = [](const NetworkService &s) { return QVariant(uint(s.frequency())); };
    const auto hidden = [](const NetworkService &s) { return QVariant(s.hidden()); };
    const auto name = [](const NetworkService &s) { return QVariant(s.name()); };
    const auto servers = [](const NetworkService &s) { return QVariant(s.nameservers()); };
    const auto ipv4 = [](const NetworkService &s) { return QVariant(s.ipv4()); };
    const QVariantMap address{{QStringLiteral("Address"), QStringLiteral("10.0.0.2")}};
    const Row rows[] = {
        {"Strength", QVariant::fromValue(uchar(70)), strength, 70u},
        {"Strength", QVariant::fromValue(uchar(255)), strength, 100u},
        {"Strength", -5, strength, 0u},
        {"Strength", QStringLiteral("70"), strength, 0u},
        {"MaxRate", QVariant::fromValue(quint32(72000000)), maxRate, 72000000u},
        {"MaxRate", QVariant::fromValue(quint64(1) << 40), maxRate, std::numeric_limits<quint32>::max()},
        {"MaxRate", 1.5e6, maxRate, 0u},
        {"Frequency", QVariant::fromValue(quint16(5180)), frequency, 5180u},
        {"Frequency", 2412, frequency, 2412u},
        {"Frequency", 70000, frequency, 65535u},
        {"Frequency", true, frequency, 0u},
        {"Hidden", true, hidden, true},
        {"Hidden", 1, hidden, false},
        {"Name", QStringLiteral("Home"), name, QStringLiteral("Home")},
        {"Name", 42, name, QString()},
        {"Name", QString(2000, QLatin1Char('x')), name, QString()},
        {"Nameservers", QStringList{"1.1.1.1", "", "8.8.8.8"}, servers, QStringList{"1.1.1.1", "8.8.8.8"}},
        {"Nameservers", QStringLiteral("1.1.1.1"), servers, QStringList()},
        {"Nameservers", QStringList(QVector<QString>(100, QStringLiteral("9.9.9.9")).toList()), servers,
         QStringList(QVector<QString>(32, QStringLiteral("9.9.9.9")).toList())},
        {"IPv4", address, ipv4, address},
        // The same as it comes out of a D-Bus variant.
        {"IPv4", QVariant::fromValue(QDBusVariant(address)), ipv4, address},
        {"IPv4", QStringLiteral("10.0.0.2"), ipv4, QVariantMap()},
    };
    for (const Row &row : rows) {
        const NetworkService s(QStringLiteral("/x"), {{QLatin1String(row.name), row.value}});
        EXPECT_EQ(row.read(s), row.expected) << row.name << " from " << qPrintable(row.value.toString());
    }
    // Nothing given: all defaults.
    const NetworkService empty(QStringLiteral("/x"), {});
    EXPECT_EQ(empty.strength() + empty.maxRate() + empty.frequency(), 0u);
    EXPECT_FALSE(empty.hidden() || empty.connected());
    EXPECT_TRUE(empty.ethernet().isEmpty() && empty.nameservers().isEmpty());
}

TEST_F(ConnmanTest, ServicesArriveWithTheirPropertiesAndFollowChanges)
{
    ASSERT_TRUE(control.addService(QStringLiteral("wifi_home"), ConnmanStandinClient::wifi("Home", "online")));
    NetworkManager manager;
    ASSERT_TRUE(seen(manager, 1));
    NetworkService *s = manager.connectedWifi();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->path(), ConnmanStandinClient::servicePath(QStringLiteral("wifi_home")));
    EXPECT_EQ(s->name(), QStringLiteral("Home"));
    EXPECT_EQ(s->strength(), 70u);
    EXPECT_EQ(s->maxRate(), 72000000u);
    EXPECT_EQ(s->frequency(), 5180);
    EXPECT_EQ(s->ethernet().value(QStringLiteral("Address")).toString(), QStringLiteral("02:00:00:AB:CD:EF"));
    EXPECT_EQ(s->ipv4().value(QStringLiteral("Netmask")).toString(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(s->ipv6().value(QStringLiteral("Gateway")).toString(), QStringLiteral("fd00::1"));
    EXPECT_EQ(s->nameservers(), QStringList{QStringLiteral("192.168.1.1")});

    QSignalSpy strength(s, &NetworkService::strengthChanged);
    ASSERT_TRUE(control.setProperty(QStringLiteral("wifi_home"), QStringLiteral("Strength"),
                                    QVariant::fromValue(uchar(40))));
    ASSERT_TRUE(waitFor([&] { return s->strength() == 40; }));
    // A mistyped value reads as the default, and the next good one counts.
    ASSERT_TRUE(control.setProperty(QStringLiteral("wifi_home"), QStringLiteral("Strength"), QStringLiteral("x")));
    ASSERT_TRUE(waitFor([&] { return s->strength() == 0; }));
    ASSERT_TRUE(control.setProperty(QStringLiteral("wifi_home"), QStringLiteral("IPv4"),
                                    QVariantMap{{QStringLiteral("Address"), QStringLiteral("10.1.1.1")}}));
    ASSERT_TRUE(waitFor([&] { return s->ipv4().value(QStringLiteral("Address")) == QStringLiteral("10.1.1.1"); }));
    EXPECT_EQ(strength.count(), 2);
    // Another manager starting now reads the current values.
    NetworkManager late;
    ASSERT_TRUE(seen(late, 1));
    EXPECT_EQ(late.getServices().first()->ipv4().value(QStringLiteral("Address")).toString(),
              QStringLiteral("10.1.1.1"));
}

// The connected Wi-Fi service is the first Wi-Fi one in connman's order
// that is ready or online.
TEST_F(ConnmanTest, ConnectedWifiIsTheFirstConnectedWifiService)
{
    struct Row
    {
        QList<QPair<const char *, const char *>> services; // type, state, in order
        int expected; // index, -1 for none
    };
    const Row rows[] = {
        {{{"wifi", "online"}}, 0},
        {{{"wifi", "ready"}}, 0},
        {{{"wifi", "association"}, {"wifi", "configuration"}, {"wifi", "idle"}, {"wifi", "failure"}}, -1},
        {{{"ethernet", "online"}, {"wifi", "ready"}}, 1},
        {{{"cellular", "online"}, {"wifi", "disconnect"}}, -1},
        {{{"wifi", "idle"}, {"wifi", "online"}, {"wifi", "ready"}}, 1},
        {{{"wifi", "ready"}, {"wifi", "online"}}, 0},
        {{}, -1},
    };
    for (const Row &row : rows) {
        ASSERT_TRUE(control.reset());
        NetworkManager manager;
        ASSERT_TRUE(seen(manager, 0));
        for (int i = 0; i < row.services.size(); ++i)
            ASSERT_TRUE(control.addService(QStringLiteral("s%1").arg(i),
                                           service(row.services[i].first, row.services[i].second)));
        ASSERT_TRUE(seen(manager, row.services.size()));
        const QString expected =
            row.expected < 0 ? QString() : ConnmanStandinClient::servicePath(QStringLiteral("s%1").arg(row.expected));
        EXPECT_EQ(manager.connectedWifi() ? manager.connectedWifi()->path() : QString(), expected)
            << "row with " << row.services.size() << " services";
    }
}

TEST_F(ConnmanTest, ConnectedWifiFollowsStateOrderAndRemoval)
{
    NetworkManager manager;
    ASSERT_TRUE(seen(manager, 0));
    QSignalSpy changed(&manager, &NetworkManager::connectedWifiChanged);
    ASSERT_TRUE(control.addService(QStringLiteral("b"), service("wifi", "online")));
    ASSERT_TRUE(control.addService(QStringLiteral("a"), service("wifi", "idle")));
    ASSERT_TRUE(waitFor([&] { return manager.connectedWifi(); }));
    NetworkService *b = manager.connectedWifi();
    EXPECT_EQ(b->path(), ConnmanStandinClient::servicePath(QStringLiteral("b")));

    // "a" connects: still "b" until connman puts "a" first.
    ASSERT_TRUE(control.setProperty(QStringLiteral("a"), QStringLiteral("State"), QStringLiteral("ready")));
    ASSERT_TRUE(waitFor([&] { return manager.service(ConnmanStandinClient::servicePath("a"))->connected(); }));
    EXPECT_EQ(manager.connectedWifi(), b);
    ASSERT_TRUE(control.moveService(QStringLiteral("a"), 0));
    ASSERT_TRUE(waitFor([&] { return manager.connectedWifi() != b; }));
    EXPECT_EQ(manager.connectedWifi()->path(), ConnmanStandinClient::servicePath(QStringLiteral("a")));

    // The connected one is removed: whoever listens still finds the old
    // object alive while it hears of the change.
    QPointer<NetworkService> a = manager.connectedWifi();
    bool aliveWhenTold = false;
    QObject::connect(&manager, &NetworkManager::connectedWifiChanged, [&] { aliveWhenTold = !a.isNull(); });
    ASSERT_TRUE(control.removeService(QStringLiteral("a")));
    ASSERT_TRUE(waitFor([&] { return manager.connectedWifi() == b; }));
    EXPECT_TRUE(aliveWhenTold);
    ASSERT_TRUE(waitFor([&] { return a.isNull(); }));
    // A state change away from ready/online drops it.
    ASSERT_TRUE(control.setProperty(QStringLiteral("b"), QStringLiteral("State"), QStringLiteral("idle")));
    ASSERT_TRUE(waitFor([&] { return !manager.connectedWifi(); }));
    EXPECT_EQ(changed.count(), 4); // b, a, b, none
}

// Data connman would never send does not crash the manager, and what
// cannot be read is left out.
TEST_F(ConnmanTest, HostileBusDataIsBoundedOrIgnored)
{
    NetworkManager manager;
    ASSERT_TRUE(seen(manager, 0));
    // More services than the manager keeps.
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(control.addService(QStringLiteral("n%1").arg(i), service("ethernet", "idle")));
    ASSERT_TRUE(waitFor([&] { return manager.getServices().size() == 256; }));
    ASSERT_TRUE(control.reset());
    ASSERT_TRUE(seen(manager, 0));

    const QString root = QStringLiteral("/");
    const QString manager_ = QStringLiteral("net.connman.Manager");
    const QString serviceIface = QStringLiteral("net.connman.Service");
    // Signals of the wrong shape.
    ASSERT_TRUE(control.emitSignal(root, manager_, QStringLiteral("ServicesChanged"), {QStringLiteral("x")}));
    ASSERT_TRUE(control.emitSignal(root, manager_, QStringLiteral("ServicesChanged"), {}));
    ASSERT_TRUE(control.addService(QStringLiteral("w"), service("wifi", "online")));
    ASSERT_TRUE(waitFor([&] { return manager.connectedWifi(); }));
    const QString w = ConnmanStandinClient::servicePath(QStringLiteral("w"));
    ASSERT_TRUE(control.emitSignal(w, serviceIface, QStringLiteral("PropertyChanged"), {QStringLiteral("State")}));
    ASSERT_TRUE(control.emitSignal(w, serviceIface, QStringLiteral("PropertyChanged"), {7, QStringLiteral("idle")}));
    // A property change of a service nobody announced, at an odd path.
    ASSERT_TRUE(control.emitSignal(QStringLiteral("/net/connman/technology/wifi"), serviceIface,
                                   QStringLiteral("PropertyChanged"),
                                   {QStringLiteral("State"), QVariant::fromValue(QDBusVariant(QStringLiteral("online")))}));
    // A second Wi-Fi service comes and goes behind the connected one.
    ASSERT_TRUE(control.addService(QStringLiteral("w2"), service("wifi", "ready")));
    ASSERT_TRUE(seen(manager, 2));
    ASSERT_TRUE(control.removeService(QStringLiteral("w2")));
    ASSERT_TRUE(seen(manager, 1));
    EXPECT_EQ(manager.connectedWifi()->path(), w);
    EXPECT_EQ(manager.connectedWifi()->state(), QStringLiteral("online"));
}

TEST_F(ConnmanTest, ConnmanLeavingAndComingBack)
{
    ASSERT_TRUE(control.addService(QStringLiteral("w"), service("wifi", "online")));
    NetworkManager manager;
    ASSERT_TRUE(seen(manager, 1));
    QSignalSpy changed(&manager, &NetworkManager::connectedWifiChanged);
    ConnmanWorld::stopStandin();
    ASSERT_TRUE(waitFor([&] { return !manager.isAvailable(); }));
    EXPECT_EQ(manager.connectedWifi(), nullptr);
    EXPECT_TRUE(manager.getServices().isEmpty());
    EXPECT_EQ(changed.count(), 1);

    // Starting without connman is no error; its arrival is picked up.
    NetworkManager early;
    ASSERT_TRUE(ConnmanWorld::startStandin());
    ASSERT_TRUE(control.addService(QStringLiteral("w"), service("wifi", "online")));
    for (NetworkManager *m : {&manager, &early}) {
        ASSERT_TRUE(seen(*m, 1));
        ASSERT_TRUE(waitFor([&] { return m->connectedWifi(); }));
    }
}

TEST_F(ConnmanTest, TechnologyFollowsItsObject)
{
    NetworkTechnology wifi(NetworkManager::WifiTechnologyPath, {});
    EXPECT_FALSE(wifi.powered());
    QSignalSpy powered(&wifi, &NetworkTechnology::poweredChanged);
    ASSERT_TRUE(control.emitSignal(NetworkManager::WifiTechnologyPath, QStringLiteral("net.connman.Technology"),
                                   QStringLiteral("PropertyChanged"),
                                   {QStringLiteral("Powered"), QVariant::fromValue(QDBusVariant(true))}));
    ASSERT_TRUE(powered.wait(10000));
    EXPECT_TRUE(wifi.powered());
}

} // namespace
