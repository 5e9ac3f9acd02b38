// The systemd stand-in and the TestWorld harness around it: what other
// tests rely on when they check "StartUnit was sent" or "the unit failed".

#include "testworld.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

// Unit property changes as broadcast, in order.
class StateSink : public QObject
{
    Q_OBJECT
public:
    QStringList states;
    QList<QVariantMap> unitChanges;
    QStringList interfaces;
public slots:
    void onChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        interfaces << interface;
        if (interface != QLatin1String("org.freedesktop.systemd1.Unit"))
            return;
        unitChanges << changed;
        if (changed.contains(QStringLiteral("ActiveState")))
            states << changed.value(QStringLiteral("ActiveState")).toString();
    }
};


namespace {

const QString kService = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kUnit = QStringLiteral("rididirevov.service");
const QString kUnitPath = QStringLiteral("/org/freedesktop/systemd1/unit/rididirevov_2eservice");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

// Zombies do not count: a killed group's orphans wait for init to reap
// them.
bool runnable(const QByteArray &stat)
{
    const int close = stat.lastIndexOf(')');
    return close > 0 && stat.size() > close + 2 && stat.at(close + 2) != 'Z';
}

bool alive(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    return pid > 0 && f.open(QIODevice::ReadOnly) && runnable(f.readAll());
}

// Whether any live process is left in the process group.
bool groupAlive(qint64 pgid)
{
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString &pid : pids) {
        QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = f.readAll();
        const int close = stat.lastIndexOf(')');
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        // after the name: state, ppid, pgrp
        if (fields.size() > 2 && fields.at(2).toLongLong() == pgid && runnable(stat))
            return true;
    }
    return false;
}

// A world of its own per test, talked to over a private connection (the
// process-wide default connections would stick to the first world).
class Standin : public ::testing::Test
{
protected:
    void startWorld(const TestWorld::Options &options)
    {
        ASSERT_TRUE(world.start(options)) << qPrintable(world.errorString());
        bus = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(world.systemBusAddress(), QStringLiteral("standin-test")));
        ASSERT_TRUE(bus->isConnected());
    }
    void TearDown() override
    {
        bus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("standin-test"));
    }

    QDBusMessage manager(const QString &member, const QVariantList &args = {})
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, member);
        call.setArguments(args);
        return bus->call(call);
    }
    QString activeState() { return world.unitProperties(*bus).value(QStringLiteral("ActiveState")).toString(); }

    // Unit states as broadcast, in order.
    void recordStates()
    {
        ASSERT_TRUE(bus->connect(kService, kUnitPath, kProps, QStringLiteral("PropertiesChanged"), &sink,
                                 SLOT(onChanged(QString, QVariantMap, QStringList))));
        ASSERT_EQ(manager(QStringLiteral("Subscribe")).type(), QDBusMessage::ReplyMessage);
    }

    TestWorld world;
    std::unique_ptr<QDBusConnection> bus;

    StateSink sink;
};

} // namespace

TEST_F(Standin, ManagerRepliesAsSystemdDoes)
{
    startWorld(TestWorld::Options());

    QDBusMessage r = manager(QStringLiteral("LoadUnit"), {kUnit});
    ASSERT_EQ(r.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(r.signature(), QStringLiteral("o"));
    EXPECT_EQ(r.arguments().value(0).value<QDBusObjectPath>().path(), kUnitPath);

    r = manager(QStringLiteral("LoadUnit"), {QStringLiteral("other.service")});
    EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"));
    r = manager(QStringLiteral("StartUnit"), {QStringLiteral("../x"), QStringLiteral("replace")});
    EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"));
    r = manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("bogus")});
    EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
    r = manager(QStringLiteral("StartUnit"), {kUnit});
    EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    r = manager(QStringLiteral("Reboot"));
    EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));

    r = manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    ASSERT_EQ(r.signature(), QStringLiteral("o"));
    EXPECT_TRUE(r.arguments().value(0).value<QDBusObjectPath>().path().startsWith(
        QStringLiteral("/org/freedesktop/systemd1/job/")));

    r = manager(QStringLiteral("EnableUnitFiles"), {QStringList{kUnit}, false, true});
    EXPECT_EQ(r.signature(), QStringLiteral("ba(sss)"));
    EXPECT_EQ(world.unitProperties(*bus).value(QStringLiteral("UnitFileState")).toString(), QStringLiteral("enabled"));
    r = manager(QStringLiteral("EnableUnitFiles"), {QStringList{kUnit}, true, true});
    EXPECT_EQ(world.unitProperties(*bus).value(QStringLiteral("UnitFileState")).toString(),
              QStringLiteral("enabled-runtime"));
    r = manager(QStringLiteral("DisableUnitFiles"), {QStringList{kUnit}, false});
    EXPECT_EQ(r.signature(), QStringLiteral("a(sss)"));
    EXPECT_EQ(world.unitProperties(*bus).value(QStringLiteral("UnitFileState")).toString(), QStringLiteral("disabled"));
    r = manager(QStringLiteral("DisableUnitFiles"), {QStringList{QStringLiteral("x.service")}, false});
    EXPECT_EQ(r.errorName(), QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"));

    const QVariantMap props = world.unitProperties(*bus);
    for (const char *key : {"Id", "ActiveState", "SubState", "UnitFileState", "LoadState"})
        EXPECT_TRUE(props.contains(QLatin1String(key))) << key;
    EXPECT_EQ(props.value(QStringLiteral("Id")).toString(), kUnit);

    QDBusMessage get = QDBusMessage::createMethodCall(kService, kUnitPath, kProps, QStringLiteral("GetAll"));
    get << QStringLiteral("org.example.Nothing");
    EXPECT_EQ(bus->call(get).type(), QDBusMessage::ErrorMessage);
    get = QDBusMessage::createMethodCall(kService, kUnitPath, kProps, QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.systemd1.Unit") << QStringLiteral("Id");
    const QDBusReply<QDBusVariant> id = bus->call(get);
    ASSERT_TRUE(id.isValid());
    EXPECT_EQ(id.value().variant().toString(), kUnit);
}

TEST_F(Standin, RefusesTheUnitWhenAsked)
{
    TestWorld::Options options;
    options.systemdArguments << QStringLiteral("--no-unit");
    startWorld(options);
    EXPECT_EQ(manager(QStringLiteral("LoadUnit"), {kUnit}).errorName(),
              QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"));
    EXPECT_EQ(manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")}).errorName(),
              QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"));
    EXPECT_TRUE(world.unitProperties(*bus).isEmpty());
}

TEST_F(Standin, ChangesAreBroadcastOnlyToSubscribedBuses)
{
    startWorld(TestWorld::Options());
    ASSERT_TRUE(bus->connect(kService, kUnitPath, kProps, QStringLiteral("PropertiesChanged"), &sink,
                             SLOT(onChanged(QString, QVariantMap, QStringList))));
    ASSERT_TRUE(world.setUnitProperties({{QStringLiteral("ActiveState"), QStringLiteral("failed")}}, *bus));
    ASSERT_EQ(manager(QStringLiteral("Subscribe")).type(), QDBusMessage::ReplyMessage);
    ASSERT_TRUE(world.setUnitProperties({{QStringLiteral("SubState"), QStringLiteral("x")}}, *bus));
    ASSERT_TRUE(world.emitUnitPropertiesChanged(QStringLiteral("org.example.Other"), {{"A", 1}}, {}, *bus));
    ASSERT_TRUE(TestWorld::waitFor([&] { return sink.interfaces.size() >= 2; }, 5000));
    EXPECT_EQ(sink.unitChanges, (QList<QVariantMap>{{{QStringLiteral("SubState"), QStringLiteral("x")}}}));
    EXPECT_EQ(sink.interfaces.last(), QStringLiteral("org.example.Other"));
}

TEST_F(Standin, CommandLifecycle)
{
    TestWorld::Options options;
    options.runtimeCommand = QStringLiteral("sleep 0.3; touch \"$FERRY_RUNTIME_READY_FILE\"; exec sleep 600");
    startWorld(options);
    recordStates();

    manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    EXPECT_EQ(activeState(), QStringLiteral("activating"));
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("active"), 5000, *bus));
    const qint64 pid = world.runtimePid(*bus);
    EXPECT_TRUE(alive(pid));
    EXPECT_TRUE(QFile::exists(world.readyFile()));

    manager(QStringLiteral("StopUnit"), {kUnit, QStringLiteral("replace")});
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("inactive"), 5000, *bus));
    EXPECT_FALSE(alive(pid));

    // A start while stopping waits for the stop and then runs.
    manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("active"), 5000, *bus));
    manager(QStringLiteral("StopUnit"), {kUnit, QStringLiteral("replace")});
    manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    ASSERT_TRUE(TestWorld::waitFor([&] { return sink.states.size() >= 8; }, 5000));
    EXPECT_EQ(sink.states, (QStringList{"activating", "active", "deactivating", "inactive", "activating",
                                        "active", "deactivating", "inactive", "activating", "active"}
                                .mid(0, sink.states.size())));
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("active"), 5000, *bus));

    // Unasked death is a failure; the stale ready file of the last run does
    // not make the next start look ready.
    ASSERT_TRUE(world.killRuntime(SIGKILL, *bus));
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("failed"), 5000, *bus));
    EXPECT_EQ(world.unitProperties(*bus).value(QStringLiteral("SubState")).toString(), QStringLiteral("failed"));
    manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    EXPECT_EQ(activeState(), QStringLiteral("activating"));
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("active"), 5000, *bus));

    // The runtime does not outlive the stand-in.
    const qint64 last = world.runtimePid(*bus);
    ASSERT_TRUE(alive(last));
    EXPECT_TRUE(world.stopProcess(world.systemdPid()));
    EXPECT_TRUE(TestWorld::waitFor([&] { return !alive(last); }, 2000));
}

TEST_F(Standin, StubbornCommandIsKilled)
{
    TestWorld::Options options;
    options.runtimeCommand = QStringLiteral(
        "trap '' TERM; (trap '' TERM; exec sleep 600) & touch \"$FERRY_RUNTIME_READY_FILE\"; "
        "while :; do sleep 0.05; done");
    options.systemdArguments << QStringLiteral("--stop-timeout=300");
    startWorld(options);

    manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("active"), 5000, *bus));
    const qint64 pid = world.runtimePid(*bus);
    manager(QStringLiteral("StopUnit"), {kUnit, QStringLiteral("replace")});
    EXPECT_EQ(activeState(), QStringLiteral("deactivating"));
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("inactive"), 5000, *bus));
    EXPECT_FALSE(alive(pid));
    // The background child of the group went as well.
    EXPECT_TRUE(TestWorld::waitFor([&] { return !groupAlive(pid); }, 2000));
}

TEST_F(Standin, CommandEndingBeforeReadyFails)
{
    TestWorld::Options options;
    options.runtimeCommand = QStringLiteral("exit 3");
    startWorld(options);
    manager(QStringLiteral("StartUnit"), {kUnit, QStringLiteral("replace")});
    ASSERT_TRUE(world.waitForUnitState(QStringLiteral("failed"), 5000, *bus));
}

TEST_F(Standin, EveryCallIsLogged)
{
    startWorld(TestWorld::Options());
    manager(QStringLiteral("Subscribe"));
    manager(QStringLiteral("EnableUnitFiles"), {QStringList{kUnit}, false, true});
    manager(QStringLiteral("LoadUnit"), {QStringLiteral("nope.service")});

    const QList<QJsonObject> calls = world.systemdCalls(*bus);
    ASSERT_EQ(calls.size(), 3);
    EXPECT_EQ(calls[0].value(QStringLiteral("member")).toString(), QStringLiteral("Subscribe"));
    EXPECT_EQ(calls[1].value(QStringLiteral("args")).toArray(), (QJsonArray{QJsonArray{kUnit}, false, true}));
    EXPECT_EQ(calls[2].value(QStringLiteral("interface")).toString(), kManager);
    EXPECT_EQ(calls[2].value(QStringLiteral("sender")).toString(), bus->baseService());

    QFile file(world.systemdCallLogPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4); // three lines and the empty rest
    EXPECT_EQ(QJsonDocument::fromJson(lines[1]).object(), calls[1]);

    EXPECT_EQ(world.systemdCallCount(QStringLiteral("EnableUnitFiles"), *bus), 1);
    ASSERT_TRUE(world.clearSystemdCalls(*bus));
    EXPECT_TRUE(world.systemdCalls(*bus).isEmpty());
}

TEST(TestWorldHarness, PrivateWorldAndTeardown)
{
    TestWorld world;
    TestWorld::Options options;
    options.systemd = false;
    ASSERT_TRUE(world.start(options)) << qPrintable(world.errorString());
    const QString dir = world.tempDir();
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_TRUE(world.systemBusAddress().startsWith(QStringLiteral("unix:path=") + dir));
    EXPECT_EQ(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"), world.systemBusAddress());
    EXPECT_EQ(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), world.sessionBusAddress());
    EXPECT_NE(world.systemBusAddress(), world.sessionBusAddress());

    // Processes see the world's buses; stubborn ones and their children
    // still go.
    const qint64 echo = world.startProcess(
        QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo \"bus=$DBUS_SESSION_BUS_ADDRESS x=$X\"; exec sleep 600")},
        {QStringLiteral("X=1")}, QStringLiteral("bus="));
    ASSERT_GT(echo, 0) << qPrintable(world.errorString());
    EXPECT_TRUE(world.processOutput(echo).contains(QStringLiteral("bus=") + world.sessionBusAddress() + " x=1"));
    const qint64 stubborn = world.startProcess(
        QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("trap '' TERM; sleep 600 & echo up; wait")}, {},
        QStringLiteral("up"));
    ASSERT_GT(stubborn, 0);
    EXPECT_TRUE(world.stopProcess(stubborn, 200));
    EXPECT_FALSE(world.isProcessRunning(stubborn));
    EXPECT_TRUE(TestWorld::waitFor([&] { return !groupAlive(stubborn); }, 2000));

    // A program that ends before it says it is ready is reported.
    EXPECT_EQ(world.startProcess(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("exit 4")}, {},
                                 QStringLiteral("never")),
              0);
    EXPECT_FALSE(world.errorString().isEmpty());
    EXPECT_EQ(world.startProcess(QStringLiteral("/nonexistent/program"), {}), 0);

    world.stop();
    EXPECT_FALSE(QFileInfo::exists(dir));
    EXPECT_FALSE(alive(echo));
    world.stop();
}

// Tests run as root and as users, and root's world must serve users'
// processes: any user may connect, own names and call anyone.
TEST(TestWorldHarness, OtherUsersMayUseTheBuses)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TestWorld world;
    ASSERT_TRUE(world.start()) << qPrintable(world.errorString());
    const QString script = QStringLiteral(
        "dbus-send --system --print-reply --dest=org.freedesktop.systemd1 /org/freedesktop/systemd1 "
        "org.freedesktop.systemd1.Manager.LoadUnit string:rididirevov.service && "
        "dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
        "org.freedesktop.DBus.RequestName string:org.example.User uint32:4 && echo all-done");
    const qint64 pid = world.startProcess(
        QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
         QStringLiteral("sh"), QStringLiteral("-c"), script},
        {}, QStringLiteral("all-done"));
    ASSERT_GT(pid, 0) << qPrintable(world.errorString());
    const QString out = world.processOutput(pid);
    EXPECT_TRUE(out.contains(QStringLiteral("rididirevov_2eservice"))) << qPrintable(out);
    EXPECT_TRUE(out.contains(QStringLiteral("uint32 1"))) << qPrintable(out); // primary owner
}

TEST(TestWorldHarness, FailedStartLeavesNothingBehind)
{
    qputenv("FERRY_SYSTEMD_STANDIN", "/nonexistent/ferry-systemd-standin");
    TestWorld world;
    EXPECT_FALSE(world.start());
    qunsetenv("FERRY_SYSTEMD_STANDIN");
    EXPECT_FALSE(world.errorString().isEmpty());
    EXPECT_FALSE(world.isRunning());
    EXPECT_TRUE(world.tempDir().isEmpty());

    TestWorld bad;
    TestWorld::Options options;
    options.systemdArguments << QStringLiteral("--no-such-option");
    EXPECT_FALSE(bad.start(options));
    EXPECT_TRUE(bad.errorString().contains(QStringLiteral("ended before it was ready")))
        << qPrintable(bad.errorString());
}

#include "test_systemd_standin.moc"
