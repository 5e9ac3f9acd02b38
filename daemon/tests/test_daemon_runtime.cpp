// ferryd against the simulated runtime: installs and removals through the
// package manager and the runtime's own service, result notifications, the
// queue while the runtime is down, the time zone and app-closed reports.
#include "faketimedate.h"
#include "ferrydworld.h"
#include "runtimesimclient.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

int testSdk()
{
    const int sdk = qEnvironmentVariableIntValue("FERRYD_TEST_SDK");
    return sdk ? sdk : 29;
}

class SignalCatcher : public QObject
{
    Q_OBJECT
public:
    QStringList appsClosed;
public slots:
    void appClosed(const QString &name) { appsClosed << name; }
};

class DaemonRuntimeTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new FerrydWorld;
        const QString dir = QDir::tempPath() + QString("/ferryd-runtime-%1").arg(getpid());
        QDir().mkpath(dir);
        sim = new RuntimeSimClient(dir);
        const QString command = sim->unitCommand(FERRY_RUNTIME_SIM_BIN);
        QString error;
        // The simulator (started by the systemd stand-in with this
        // environment) reads the same build properties as the daemon.
        qputenv("FERRY_BUILD_PROP", world->buildPropFile().toLocal8Bit());
        if (!world->start(&error, command, testSdk())) {
            skipReason = error;
            return;
        }
        timedThread = new QThread;
        timedThread->start();
        timedConnection = new QDBusConnection(QDBusConnection::connectToBus(world->world().systemBusAddress(), "timedate"));
        timedate = new FakeTimedate(*timedConnection, "Europe/Helsinki");
        timedate->moveToThread(timedThread);
        if (!world->startDaemon())
            skipReason = "ferryd did not come up";
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
        delete sim;
        sim = nullptr;
        if (timedate) {
            FakeTimedate *t = timedate;
            QMetaObject::invokeMethod(t, [t] { delete t; }, Qt::BlockingQueuedConnection);
            timedate = nullptr;
        }
        if (timedThread) {
            timedThread->quit();
            timedThread->wait();
            delete timedThread;
            timedThread = nullptr;
        }
        delete timedConnection;
        timedConnection = nullptr;
        QDBusConnection::disconnectFromBus("timedate");
    }
    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << qPrintable(skipReason);
    }

    static bool boolReply(const QDBusMessage &reply)
    {
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
        return reply.arguments().value(0).toBool();
    }
    static QList<QJsonObject> transactions(const QString &service) { return sim->transactions(service); }
    static QList<QJsonObject> transactions(const QString &service, int code)
    {
        return sim->transactions(service, code);
    }
    static bool runtimeUp()
    {
        return world->world().waitForUnitState("active", 20000) &&
               TestWorld::waitFor([] { return !transactions("novum", 15).isEmpty(); }, 20000);
    }
    static void stopRuntime()
    {
        world->call("controlService", {false});
        world->world().waitForUnitState("inactive", 20000);
    }
    static void setInstallResult(int result, const QString &message)
    {
        EXPECT_TRUE(sim->setInstallResult(result, message));
    }
    // The transactions that carry installs on this SDK level.
    static QList<QJsonObject> installs()
    {
        if (testSdk() == 27)
            return transactions("package", 60);
        return transactions("novum", 2);
    }
    static int deleteCode() { return testSdk() == 27 ? 64 : testSdk() == 28 ? 63 : 66; }

    static FerrydWorld *world;
    static RuntimeSimClient *sim;
    static QString skipReason;
    static QThread *timedThread;
    static QDBusConnection *timedConnection;
    static FakeTimedate *timedate;
};
FerrydWorld *DaemonRuntimeTest::world = nullptr;
RuntimeSimClient *DaemonRuntimeTest::sim = nullptr;
QString DaemonRuntimeTest::skipReason;
QThread *DaemonRuntimeTest::timedThread = nullptr;
QDBusConnection *DaemonRuntimeTest::timedConnection = nullptr;
FakeTimedate *DaemonRuntimeTest::timedate = nullptr;

TEST_F(DaemonRuntimeTest, InstallWhileStoppedRunsOnceTheRuntimeIsUp)
{
    ASSERT_EQ(world->world().unitProperties().value("ActiveState").toString(), "inactive");
    const QString apk = world->makeFile("src/com.example.queued-2.apk", "apk", 0644);
    EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
    ASSERT_TRUE(runtimeUp());
    ASSERT_TRUE(TestWorld::waitFor([] { return !installs().isEmpty(); }, 20000));
    const QList<QJsonObject> done = installs();
    ASSERT_EQ(done.size(), 1);
    const QJsonArray args = done.first().value("args").toArray();
    EXPECT_EQ(args.at(1).toString(), "/data/qrs-staging/app/incoming/com.example.queued-2.apk");
    EXPECT_EQ(args.at(2).toString(), "binder");   // not quiet: an observer
    // Its result arrives as a notification.
    ASSERT_TRUE(world->waitForNotifications(1));
    const auto n = world->notificationsPublished().first();
    EXPECT_EQ(n.summary, "App installed: com.example.queued");
    EXPECT_EQ(n.appName, "Android App Support");
    EXPECT_EQ(n.appIcon, "icon-s-android");
    EXPECT_TRUE(n.hints.value("transient").toBool());
    EXPECT_TRUE(n.body.isEmpty());
}

TEST_F(DaemonRuntimeTest, FailedInstallTellsWhyAndQuietInstallsTellNothing)
{
    ASSERT_TRUE(runtimeUp() || (world->call("controlService", {true}), runtimeUp()));
    const int before = world->notificationsPublished().size();
    const int installsBefore = installs().size();
    setInstallResult(-4, QString());
    const QString preload = world->makeFile("src/com.example.pre-1.apk", "apk", 0644);
    EXPECT_TRUE(boolReply(world->call("installPreloadFile", {preload})));
    const QString apk = world->makeFile("src/com.example.big-1.apk", "apk", 0644);
    EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
    ASSERT_TRUE(TestWorld::waitFor([&] { return installs().size() == installsBefore + 2; }, 20000));
    EXPECT_EQ(installs().at(installsBefore).value("args").toArray().at(2).toString(), "null");
    ASSERT_TRUE(world->waitForNotifications(before + 1));
    QThread::msleep(300);
    const auto all = world->notificationsPublished();
    ASSERT_EQ(all.size(), before + 1);   // nothing for the preload
    EXPECT_EQ(all.last().summary, "App installation failed: com.example.big");
    EXPECT_EQ(all.last().body, "Not enough storage space to install the app");

    // Android's own message goes out unchanged.
    setInstallResult(-2, "Bad manifest");
    EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
    ASSERT_TRUE(world->waitForNotifications(before + 2));
    EXPECT_EQ(world->notificationsPublished().last().body, "Bad manifest");
    setInstallResult(1, QString());
}

// SDK 27: the package manager answers with an exception, or the call fails;
// later: the runtime's service answers 0, or the call fails. No observer
// will report, so the daemon tells the user itself.
TEST_F(DaemonRuntimeTest, InstallTheRuntimeDidNotTakeIsReportedAsFailed)
{
    ASSERT_TRUE(runtimeUp() || (world->call("controlService", {true}), runtimeUp()));
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        ASSERT_TRUE(sim->setInstallHandOff(mode));
        const int before = world->notificationsPublished().size();
        const int installsBefore = installs().size();
        const QString preload = world->makeFile("src/com.example.quiet-1.apk", "apk", 0644);
        EXPECT_TRUE(boolReply(world->call("installPreloadFile", {preload})));
        const QString apk = world->makeFile("src/com.example.refused-1.apk", "apk", 0644);
        EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
        ASSERT_TRUE(TestWorld::waitFor([&] { return installs().size() == installsBefore + 2; }, 20000));
        ASSERT_TRUE(world->waitForNotifications(before + 1));
        QThread::msleep(300);
        const auto all = world->notificationsPublished();
        ASSERT_EQ(all.size(), before + 1);   // nothing for the quiet one
        EXPECT_EQ(all.last().summary, "App installation failed: com.example.refused");
        EXPECT_EQ(all.last().body, "The app could not be installed");
    }
    ASSERT_TRUE(sim->setInstallHandOff(0));
}

TEST_F(DaemonRuntimeTest, RemovalsWhileStoppedAreDoneOnceEach)
{
    stopRuntime();
    const int before = transactions("package", deleteCode()).size();
    // A desktop entry names its package.
    QFile entry(world->applicationsDir() + "ferryd_launcher_com_example_x-com_example_Main.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nName=Example X\nX-ferryd-packageName=com.example.x\n");
    entry.close();
    EXPECT_TRUE(boolReply(world->call("removeFile", {QString("com.example.a")})));
    EXPECT_TRUE(boolReply(world->call("removeFile", {QString("/some/com.example.a-3.apk")})));
    EXPECT_TRUE(boolReply(world->call("removeFile", {entry.fileName()})));
    EXPECT_TRUE(boolReply(world->call("removeFile", {QString("com.example.a")})));
    ASSERT_TRUE(runtimeUp());
    ASSERT_TRUE(TestWorld::waitFor([&] { return transactions("package", deleteCode()).size() >= before + 2; }, 20000));
    QThread::msleep(300);
    const QList<QJsonObject> deletes = transactions("package", deleteCode()).mid(before);
    ASSERT_EQ(deletes.size(), 2);
    EXPECT_EQ(deletes.at(0).value("args").toArray().at(1).toString(), "com.example.a");
    EXPECT_EQ(deletes.at(1).value("args").toArray().at(1).toString(), "com.example.x");
    for (const QJsonObject &d : deletes) {
        const QJsonArray a = d.value("args").toArray();
        EXPECT_EQ(a.at(2).toInt(), -1);            // any version
        EXPECT_EQ(a.at(3).toString(), "null");     // quiet
        EXPECT_EQ(a.at(5).toInt(), 2);             // flags
    }
    QFile::remove(entry.fileName());
}

TEST_F(DaemonRuntimeTest, TimeZoneFollowsTheHost)
{
    ASSERT_TRUE(runtimeUp() || (world->call("controlService", {true}), runtimeUp()));
    ASSERT_TRUE(TestWorld::waitFor([] { return !transactions("alarm", 3).isEmpty(); }, 20000));
    EXPECT_EQ(transactions("alarm", 3).last().value("args").toArray().at(1).toString(), "Europe/Helsinki");
    const int before = transactions("alarm", 3).size();

    timedate->setTimezone("Europe/Helsinki");   // no change of zone
    timedate->setTimezone("America/New_York");
    ASSERT_TRUE(TestWorld::waitFor([&] { return transactions("alarm", 3).size() > before; }, 10000));
    QThread::msleep(300);
    ASSERT_EQ(transactions("alarm", 3).size(), before + 1);
    EXPECT_EQ(transactions("alarm", 3).last().value("args").toArray().at(1).toString(), "America/New_York");

    // A restarted runtime gets the zone at once.
    stopRuntime();
    world->call("controlService", {true});
    ASSERT_TRUE(runtimeUp());
    ASSERT_TRUE(TestWorld::waitFor([&] { return transactions("alarm", 3).size() == before + 2; }, 20000));
    EXPECT_EQ(transactions("alarm", 3).last().value("args").toArray().at(1).toString(), "America/New_York");
}

TEST_F(DaemonRuntimeTest, AppClosedIsBroadcastOnce)
{
    ASSERT_TRUE(runtimeUp() || (world->call("controlService", {true}), runtimeUp()));
    SignalCatcher catcher;
    ASSERT_TRUE(QDBusConnection::systemBus().connect(QString(), "/com/kestrel/ferryd", "com.kestrel.ferryd",
                                                     "appClosed", &catcher, SLOT(appClosed(QString))));
    world->call("isRunning");   // the match rule is in place
    QJsonObject answer = sim->command({{"cmd", "call"}, {"service", "novum"}, {"code", 0x5eed0002},
                              {"args", QJsonArray{QJsonObject{{"s16", "com.example.app"}}, QJsonObject{{"i32", 1}}}}});
    ASSERT_TRUE(answer.value("ok").toBool()) << qPrintable(QJsonDocument(answer).toJson());
    EXPECT_EQ(answer.value("ints").toArray().at(1).toInt(), 0);   // listener status
    ASSERT_TRUE(TestWorld::waitFor([&] { return !catcher.appsClosed.isEmpty(); }, 5000));
    // Another code is refused and sends nothing.
    answer = sim->command({{"cmd", "call"}, {"service", "novum"}, {"code", 0x5eed0002},
                  {"args", QJsonArray{QJsonObject{{"s16", "com.example.other"}}, QJsonObject{{"i32", 2}}}}});
    EXPECT_EQ(answer.value("ints").toArray().at(1).toInt(), 1);
    TestWorld::waitFor([] { return false; }, 300);
    EXPECT_EQ(catcher.appsClosed, QStringList{"com.example.app"});
}

TEST_F(DaemonRuntimeTest, DaemonStartedWhileTheRuntimeRunsIsFullyConnected)
{
    ASSERT_TRUE(runtimeUp() || (world->call("controlService", {true}), runtimeUp()));
    ASSERT_TRUE(world->stopDaemon());
    const int zones = transactions("alarm", 3).size();
    const int listeners = transactions("novum", 15).size();
    ASSERT_TRUE(world->startDaemon());
    // Time zone and listener at once, although no connection changed later.
    ASSERT_TRUE(TestWorld::waitFor([&] { return transactions("alarm", 3).size() == zones + 1; }, 10000));
    ASSERT_TRUE(TestWorld::waitFor([&] { return transactions("novum", 15).size() == listeners + 1; }, 10000));
    EXPECT_EQ(transactions("novum", 15).last().value("args").toArray().at(1).toString(), "binder");
    // Installs carry an observer, so their results are shown.
    const int before = world->notificationsPublished().size();
    const QString apk = world->makeFile("src/com.example.late-1.apk", "apk", 0644);
    EXPECT_TRUE(boolReply(world->call("installFile", {apk})));
    ASSERT_TRUE(world->waitForNotifications(before + 1));
    EXPECT_EQ(world->notificationsPublished().last().summary, "App installed: com.example.late");
}

TEST_F(DaemonRuntimeTest, LaunchAndDataRequestsReachTheRuntime)
{
    ASSERT_TRUE(runtimeUp() || (world->call("controlService", {true}), runtimeUp()));
    world->call("launchApp", {QString("com.example.app")});
    world->call("deleteAppCacheFiles", {QString("com.example.app")});
    world->call("clearAppUserData", {QString("com.example.app")});
    ASSERT_TRUE(TestWorld::waitFor([] { return !transactions("novum", 1).isEmpty(); }, 5000));
    EXPECT_EQ(transactions("novum", 1).last().value("args").toArray().at(1).toString(), "com.example.app");
    const int cacheCode = testSdk() >= 29 ? 103 : 100;
    const int clearCode = testSdk() >= 29 ? 104 : 101;
    ASSERT_EQ(transactions("package", cacheCode).size(), 1);
    ASSERT_EQ(transactions("package", clearCode).size(), 1);
    EXPECT_EQ(transactions("package", clearCode).first().value("args").toArray().at(1).toString(), "com.example.app");
}

} // namespace

#include "test_daemon_runtime.moc"
