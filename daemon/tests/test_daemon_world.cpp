// ferryd as a process: start-up, bus registration, the install and removal
// requests as far as they need no runtime, caller checks and notifications.
#include "fakepackagekit.h"
#include "ferrydworld.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const uint kNobody = 65534;

class DaemonWorldTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new FerrydWorld;
        QString error;
        if (!world->start(&error)) {
            skipReason = error;
            return;
        }
        // A file left over from an earlier run must be gone after start-up.
        QDir().mkpath(world->incomingDir());
        QFile stale(world->incomingDir() + "stale.apk");
        stale.open(QIODevice::WriteOnly);
        stale.close();
        if (!world->startDaemon())
            skipReason = "ferryd did not come up";
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
    }
    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << qPrintable(skipReason);
        world->setPolicy("");
    }
    static bool boolReply(const QDBusMessage &reply)
    {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
        return reply.arguments().value(0).toBool();
    }
    static QStringList incoming()
    {
        return QDir(world->incomingDir()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    static void clearIncoming()
    {
        for (const QString &name : incoming())
            QFile::remove(world->incomingDir() + name);
    }

    static FerrydWorld *world;
    static QString skipReason;
};
FerrydWorld *DaemonWorldTest::world = nullptr;
QString DaemonWorldTest::skipReason;

TEST_F(DaemonWorldTest, StartUpPreparesStagingAndServesTheInterface)
{
    EXPECT_FALSE(QFile::exists(world->incomingDir() + "stale.apk"));
    EXPECT_TRUE(QFileInfo(world->packagedDir()).isDir());
    struct stat st;
    ASSERT_EQ(stat(QFile::encodeName(world->incomingDir()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(st.st_uid, 0u);

    const QDBusMessage reply = QDBusConnection::systemBus().call(QDBusMessage::createMethodCall(
        "com.kestrel.ferryd", "/com/kestrel/ferryd", "org.freedesktop.DBus.Introspectable", "Introspect"));
    const QString xml = reply.arguments().value(0).toString();
    EXPECT_TRUE(xml.contains("<interface name=\"com.kestrel.ferryd\">"));
    EXPECT_LT(xml.indexOf("name=\"installFile\""), xml.indexOf("name=\"share\""));

    QDBusMessage version = world->call("getAndroidVersionData");
    ASSERT_EQ(version.type(), QDBusMessage::ReplyMessage);
    const QVariantList data = qdbus_cast<QVariantList>(version.arguments().value(0));
    ASSERT_EQ(data.size(), 3);
    EXPECT_EQ(data.at(0).toInt(), 29);
    EXPECT_EQ(data.at(1).toString(), "10");
    EXPECT_EQ(data.at(2).toString(), "2020-06-05");
}

TEST_F(DaemonWorldTest, RunningFollowsTheUnitAndControlReachesSystemd)
{
    ASSERT_TRUE(world->world().setUnitProperties({{"ActiveState", "active"}, {"SubState", "running"}}));
    EXPECT_TRUE(TestWorld::waitFor([] { return boolReply(world->call("isRunning")); }, 5000));
    ASSERT_TRUE(world->world().setUnitProperties({{"ActiveState", "inactive"}, {"SubState", "dead"}}));
    EXPECT_TRUE(TestWorld::waitFor([] { return !boolReply(world->call("isRunning")); }, 5000));

    world->world().clearSystemdCalls();
    world->call("controlServiceAutostart", {true});
    world->call("controlService", {true});
    EXPECT_TRUE(TestWorld::waitFor([] { return world->world().systemdCallCount("StartUnit") == 1; }, 5000));
    EXPECT_TRUE(TestWorld::waitFor([] { return world->world().systemdCallCount("EnableUnitFiles") == 1; }, 5000));
    world->call("controlService", {false});
    world->world().waitForUnitState("inactive", 5000);
}

TEST_F(DaemonWorldTest, InstallRestartsACrashedRuntime)
{
    world->world().waitForUnitState("inactive", 5000);
    ASSERT_TRUE(world->world().setUnitProperties({{"ActiveState", "failed"}, {"SubState", "failed"}}));
    ASSERT_TRUE(TestWorld::waitFor([] { return !boolReply(world->call("isRunning")); }, 5000));
    world->world().clearSystemdCalls();
    const QString apk = world->makeFile("src/com.example.crash-1.apk", "apk", 0644);
    EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
    EXPECT_TRUE(TestWorld::waitFor([] { return world->world().systemdCallCount("StartUnit") == 1; }, 5000));
    world->call("controlService", {false});
    world->world().waitForUnitState("inactive", 5000);
}

TEST_F(DaemonWorldTest, InstallStagesTheFileAndStartsTheRuntime)
{
    clearIncoming();
    world->world().waitForUnitState("inactive", 5000);
    world->world().clearSystemdCalls();
    const QByteArray content(100000, 'k');
    const QString apk = world->makeFile("src/com.example.app-7.apk", content, 0600);

    EXPECT_FALSE(boolReply(world->call("installFile", {QString("relative/app.apk")})));
    EXPECT_FALSE(boolReply(world->call("installFile", {world->path("src/missing.apk")})));
    EXPECT_FALSE(boolReply(world->call("installFile", {world->path("src/..")})));
    EXPECT_FALSE(boolReply(world->call("installFile", {world->path("src")})));   // a directory
    EXPECT_TRUE(incoming().isEmpty());
    EXPECT_EQ(world->world().systemdCallCount("StartUnit"), 0);

    // The test process is root: privileged, and may read the 0600 file.
    EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
    EXPECT_EQ(incoming(), QStringList{"com.example.app-7.apk"});
    const QString staged = world->incomingDir() + "com.example.app-7.apk";
    struct stat st;
    ASSERT_EQ(stat(QFile::encodeName(staged).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    QFile f(staged);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), content);
    EXPECT_TRUE(TestWorld::waitFor([] { return world->world().systemdCallCount("StartUnit") == 1; }, 5000));

    // Staging again replaces the copy.
    const QString apk2 = world->makeFile("src/com.example.app-7.apk", "new", 0644);
    EXPECT_TRUE(boolReply(world->call("installFile", {apk2})));
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "new");
    world->call("controlService", {false});
    world->world().waitForUnitState("inactive", 5000);
}

// The runtime's side plants links in its data tree for root to follow at
// start-up (the stale-file sweep, the directory's owner and mode) and at
// install (removing, writing, renaming, re-owning the staged file).
TEST_F(DaemonWorldTest, LinksInTheDataTreeLeadNowhere)
{
    const QString outside = world->path("outside");
    const QString staging = world->dataRoot() + "/data/qrs-staging";
    const auto plantOutside = [&] {
        QDir(outside).removeRecursively();
        for (const char *sub : {"", "/app/incoming", "/incoming"}) {
            QDir().mkpath(outside + sub);
            for (const char *name : {"/victim.apk", "/com.example.linked-1.apk", "/com.example.linked-1.apk.tmp"})
                world->makeFile(QString("outside") + sub + name, "host file", 0600);
        }
        QDirIterator it(outside, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            lchown(QFile::encodeName(it.next()).constData(), kNobody, kNobody);
        chmod(QFile::encodeName(outside).constData(), 0700);
    };
    const auto plant = [&](const QString &below, const QString &target) {
        QDir(staging).removeRecursively();
        plantOutside();
        const QString at = staging + below;
        QDir().mkpath(QFileInfo(at).path());
        return symlink(QFile::encodeName(outside + target).constData(), QFile::encodeName(at).constData()) == 0;
    };
    const auto snapshot = [&] {
        QStringList lines;
        QStringList paths{outside};
        QDirIterator it(outside, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            paths << it.next();
        for (const QString &path : paths) {
            struct stat st;
            if (lstat(QFile::encodeName(path).constData(), &st) == 0)
                lines << QString("%1 %2 %3:%4 %5").arg(path).arg(st.st_mode, 0, 8).arg(st.st_uid).arg(st.st_gid).arg(st.st_size);
        }
        lines.sort();
        return lines.join('\n').toStdString();
    };

    // At start-up.
    ASSERT_TRUE(world->stopDaemon());
    ASSERT_TRUE(plant("/app/incoming", ""));
    std::string before = snapshot();
    ASSERT_TRUE(world->startDaemon());
    EXPECT_EQ(snapshot(), before);

    // At install, a link at each level.
    struct Case
    {
        const char *at;       // below qrs-staging
        const char *target;   // below outside
    };
    const Case cases[] = {
        {"", ""}, {"/app", ""}, {"/app/incoming", ""},
        {"/app/incoming/com.example.linked-1.apk", "/com.example.linked-1.apk"},
        {"/app/incoming/com.example.linked-1.apk.tmp", "/com.example.linked-1.apk.tmp"},
    };
    const QString apk = world->makeFile("src/com.example.linked-1.apk", "apk", 0644);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.at);
        ASSERT_TRUE(plant(c.at, c.target));
        before = snapshot();
        EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
        EXPECT_EQ(snapshot(), before);
        struct stat st;
        ASSERT_EQ(lstat(QFile::encodeName(world->incomingDir() + "com.example.linked-1.apk").constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        ASSERT_EQ(lstat(QFile::encodeName(world->incomingDir()).constData(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, 0u);
    }
    // Made at start-up; gone with the planted trees.
    QDir().mkpath(world->packagedDir());
    world->call("controlService", {false});
    world->world().waitForUnitState("inactive", 5000);
}

TEST_F(DaemonWorldTest, UnprivilegedCallersUseTheirOwnRightsAndThePolicy)
{
    clearIncoming();
    const QString secret = world->makeFile("src/secret-1.apk", "root only", 0600);
    const QString open = world->makeFile("src/open-1.apk", "readable", 0644);
    int exitCode = -1;

    // Allowed by policy, but the caller cannot read the file: refused, nothing staged.
    QString out = world->callAs(kNobody, kNobody, "installFile", {"string:" + secret}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(out.contains("boolean false")) << qPrintable(out);
    EXPECT_TRUE(incoming().isEmpty());

    out = world->callAs(kNobody, kNobody, "installFile", {"string:" + open}, &exitCode);
    EXPECT_TRUE(out.contains("boolean true")) << qPrintable(out);
    EXPECT_EQ(incoming(), QStringList{"open-1.apk"});

    // Forbidden by policy: refused with a warning notification.
    clearIncoming();
    world->setPolicy("6 = false\n");
    const int before = world->notificationsPublished().size();
    out = world->callAs(kNobody, kNobody, "installFile", {"string:" + open}, &exitCode);
    EXPECT_TRUE(out.contains("boolean false")) << qPrintable(out);
    EXPECT_TRUE(incoming().isEmpty());
    ASSERT_TRUE(world->waitForNotifications(before + 1));
    FakeNotificationServer::Entry warning = world->notificationsPublished().at(before);
    EXPECT_EQ(warning.hints.value("urgency").toInt(), 2);
    EXPECT_EQ(warning.hints.value("image-path").toString(), "icon-lock-warning");
    EXPECT_EQ(warning.body, "Installing apps is not allowed on this device");

    out = world->callAs(kNobody, kNobody, "removeFile", {"string:com.example.app"}, &exitCode);
    EXPECT_TRUE(out.contains("boolean false")) << qPrintable(out);
    ASSERT_TRUE(world->waitForNotifications(before + 2));
    warning = world->notificationsPublished().at(before + 1);
    EXPECT_EQ(warning.body, "Removing apps is not allowed on this device");

    // Root is privileged whatever the policy says.
    EXPECT_TRUE(boolReply(world->call("installFile", {open})));
    world->setPolicy("");
    world->call("controlService", {false});
}

TEST_F(DaemonWorldTest, PartnerSpaceMarkers)
{
    const QString apk = world->makeFile("x/y/app-3.apk", "partner", 0644);
    EXPECT_TRUE(boolReply(world->call("installPartnerSpaceFile", {apk})));
    EXPECT_TRUE(QFile::exists(world->partnerDir() + "app-3.apk"));

    QFile plain(world->partnerDir() + "app.apk");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_TRUE(boolReply(world->call("removeFile", {QString("app-3.apk")})));
    EXPECT_FALSE(QFile::exists(world->partnerDir() + "app.apk"));
    EXPECT_TRUE(QFile::exists(world->partnerDir() + "app-3.apk"));

    // A removal that names no package is refused.
    EXPECT_FALSE(boolReply(world->call("removeFile", {QString("/x/")})));
    EXPECT_FALSE(boolReply(world->call("removeFile", {QString("..")})));
    world->call("controlService", {false});
}

TEST_F(DaemonWorldTest, AppsThatCameInAnRpmAreRemovedThroughPackageKit)
{
    QThread thread;
    thread.start();
    QDBusConnection connection = QDBusConnection::connectToBus(world->world().systemBusAddress(), "packagekit");
    auto *packageKit = new FakePackageKit(connection);
    packageKit->moveToThread(&thread);
    ASSERT_TRUE(packageKit->isRegistered());
    packageKit->setInstalled({"marina-apk-com.example.rpm"});
    QFile marker(world->packagedDir() + "com.example.rpm.apk");
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.close();

    EXPECT_TRUE(boolReply(world->call("removeFile", {QString("com.example.rpm")})));
    EXPECT_TRUE(TestWorld::waitFor(
        [&] {
            for (const auto &call : packageKit->transactionCalls()) {
                if (call.member == "RemovePackages")
                    return true;
            }
            return false;
        },
        10000));
    QStringList removed;
    for (const auto &call : packageKit->transactionCalls()) {
        if (call.member == "RemovePackages")
            removed << call.arguments.value(1).toStringList();
    }
    EXPECT_EQ(removed, QStringList{"marina-apk-com.example.rpm;1.0;noarch;installed"});
    // No marker: no PackageKit traffic.
    const int before = packageKit->createdTransactions();
    EXPECT_TRUE(boolReply(world->call("removeFile", {QString("com.example.plain")})));
    TestWorld::waitFor([] { return false; }, 300);
    EXPECT_EQ(packageKit->createdTransactions(), before);

    QMetaObject::invokeMethod(packageKit, [packageKit] { delete packageKit; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    QDBusConnection::disconnectFromBus("packagekit");
    QFile::remove(marker.fileName());
    world->call("controlService", {false});
}

TEST_F(DaemonWorldTest, MethodsOfLaterWorkAnswerTheirDefaults)
{
    QDBusMessage reply = world->call("getAppSize", {QString("com.x")});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(reply.signature(), "(xxx)");
    reply = world->call("getAndroidAppDataUsage");
    EXPECT_EQ(reply.arguments().value(0).toULongLong(), 0u);
    reply = world->call("getAppStartOnBootup", {QString("com.x")});
    EXPECT_FALSE(boolReply(reply));
    reply = world->call("launchIntent", {QString("a"), QString(""), QString(""), QString("p"), QString(""),
                                         QString(""), QVariantMap()});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);
}

TEST_F(DaemonWorldTest, SecondInstanceExitsWithStatusOne)
{
    QProcess second;
    QStringList env = QProcess::systemEnvironment();
    env << world->world().environment() << world->daemonEnvironment();
    second.setEnvironment(env);
    second.start(FERRYD_BIN, QStringList());
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("Cannot register D-Bus service at"));
    // The first one still serves.
    EXPECT_TRUE(QDBusConnection::systemBus().interface()->isServiceRegistered("com.kestrel.ferryd").value());
}

// Runs after the fixture's world is gone: a world of its own, reached
// through a connection of its own (the process's default system bus
// connection belongs to the first world).
TEST(DaemonStartUp, WaitsForAnActiveUserOnSeat0)
{
    FerrydWorld second;
    QString error;
    if (!second.start(&error))
        GTEST_SKIP() << qPrintable(error);
    QFile::remove("/run/systemd/seats/seat0");
    const qint64 pid = second.world().startProcess(FERRYD_BIN, {}, second.daemonEnvironment());
    ASSERT_NE(pid, 0);
    QDBusConnection bus = QDBusConnection::connectToBus(second.world().systemBusAddress(), "startup-check");
    auto registered = [&bus] { return bus.interface()->isServiceRegistered("com.kestrel.ferryd").value(); };
    EXPECT_FALSE(TestWorld::waitFor(registered, 1500));
    EXPECT_TRUE(second.world().isProcessRunning(pid));
    // logind replaces its seat files atomically.
    QFile seat("/run/systemd/seats/.seat0.new");
    ASSERT_TRUE(seat.open(QIODevice::WriteOnly));
    seat.write("ACTIVE=c2\nACTIVE_UID=4242\n");
    seat.close();
    ASSERT_EQ(rename("/run/systemd/seats/.seat0.new", "/run/systemd/seats/seat0"), 0);
    EXPECT_TRUE(TestWorld::waitFor(registered, 10000));
    second.world().stopProcess(pid);
    QDBusConnection::disconnectFromBus("startup-check");
}

TEST(DaemonStartUp, NoLoginManagerMeansExitThree)
{
    if (qgetenv("FERRY_IN_VM") != "1")
        GTEST_SKIP() << "needs the test guest: it moves logind's seat directory";
    QDir().mkpath("/run/systemd/seats");
    ASSERT_EQ(rename("/run/systemd/seats", "/run/systemd/seats.away"), 0);
    QProcess daemon;
    daemon.start(FERRYD_BIN, QStringList());
    const bool finished = daemon.waitForFinished(10000);
    rename("/run/systemd/seats.away", "/run/systemd/seats");
    ASSERT_TRUE(finished);
    EXPECT_EQ(daemon.exitCode(), 3);
    EXPECT_TRUE(daemon.readAllStandardError().contains("Failed to monitor for seat changes"));
}

TEST(DaemonStartUp, RefusesToRunAsAnOrdinaryUser)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
            setresuid(kNobody, kNobody, kNobody) != 0)
            _exit(99);
        int err = open("/dev/null", O_WRONLY);
        dup2(err, 2);
        execl(FERRYD_BIN, FERRYD_BIN, nullptr);
        _exit(98);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
