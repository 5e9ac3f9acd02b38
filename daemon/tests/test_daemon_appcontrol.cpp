// ferryd's app control against the simulated runtime: launching, intents
// and shares as the runtime decodes them, the window wait beside other
// calls, sizes, data usage, start-on-boot, force stop, the caller check of
// the app-data methods, runtime upgrades told to the launcher model, and
// the codes of each SDK level.
#include "fakelaunchermodel.h"
#include "ferrydworld.h"
#include "runtimesimclient.h"

#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const uint kNobody = 65534;

int testSdk()
{
    const int sdk = qEnvironmentVariableIntValue("FERRYD_TEST_SDK");
    return sdk ? sdk : 29;
}

int startCode() { return testSdk() == 27 ? 3 : testSdk() == 28 ? 6 : 7; }
int forceStopCode() { return testSdk() == 27 ? 72 : testSdk() == 28 ? 77 : 68; }
int statsCode() { return testSdk() == 27 ? 6 : 7; }
int whitelistedCode() { return testSdk() == 27 ? 13 : 16; }
int clearCode() { return testSdk() >= 29 ? 104 : 101; }

class SignalCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QPair<QString, bool>> changes;
public slots:
    void changed(const QString &package, bool allowed) { changes << qMakePair(package, allowed); }
};

class DaemonAppControlTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new FerrydWorld;
        const QString dir = QDir::tempPath() + QString("/ferryd-appcontrol-%1").arg(getpid());
        QDir().mkpath(dir);
        sim = new RuntimeSimClient(dir);
        qputenv("FERRY_BUILD_PROP", world->buildPropFile().toLocal8Bit());
        QString error;
        if (!world->start(&error, sim->unitCommand(FERRY_RUNTIME_SIM_BIN), testSdk())) {
            skipReason = error;
            return;
        }
        // du runs through a wrapper that can be made slow or broken.
        duWrapper = world->makeFile("du-wrapper",
                                    "#!/bin/sh\n"
                                    "d=$(dirname \"$0\")\n"
                                    "[ -f \"$d/du-slow\" ] && sleep 3\n"
                                    "[ -f \"$d/du-broken\" ] && { echo nonsense; exit 0; }\n"
                                    "exec /usr/bin/du \"$@\"\n",
                                    0755);
        launcherModel = new FakeLauncherModel(world->sessionConnection());
        if (!launcherModel->isRegistered())
            skipReason = "launcher model stand-in did not register";
        else if (!world->startDaemon({"FERRYD_DU=" + duWrapper}))
            skipReason = "ferryd did not come up";
    }
    static void TearDownTestSuite()
    {
        delete launcherModel;
        launcherModel = nullptr;
        delete world;
        world = nullptr;
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        if (!skipReason.isEmpty())
            GTEST_SKIP() << qPrintable(skipReason);
    }

    static QList<QJsonObject> transactions(const QString &service, int code) { return sim->transactions(service, code); }
    static bool runtimeUp()
    {
        if (world->world().unitProperties().value("ActiveState").toString() != "active")
            world->call("controlService", {true});
        return world->world().waitForUnitState("active", 20000) &&
               TestWorld::waitFor([] { return !transactions("novum", 15).isEmpty(); }, 20000);
    }
    // A test-only code of a simulated service; its answer.
    static QJsonObject control(const QString &service, const QJsonArray &args)
    {
        return sim->command({{"cmd", "call"}, {"service", service}, {"code", 0x5eed0001}, {"args", args}});
    }
    static QJsonObject lastIntent()
    {
        const QList<QJsonObject> started = transactions("activity", startCode());
        return started.isEmpty() ? QJsonObject() : started.last().value("intent").toObject();
    }
    static bool waitForStarts(int count)
    {
        return TestWorld::waitFor([count] { return transactions("activity", startCode()).size() >= count; }, 10000);
    }
    static QDBusMessage launchIntent(const QString &action, const QString &data, const QString &type,
                                     const QString &package, const QString &className, const QString &category,
                                     const QVariantMap &extras = {})
    {
        return world->call("launchIntent", {action, data, type, package, className, category, extras});
    }

    static FerrydWorld *world;
    static RuntimeSimClient *sim;
    static FakeLauncherModel *launcherModel;
    static QString duWrapper;
    static QString skipReason;
};
FerrydWorld *DaemonAppControlTest::world = nullptr;
RuntimeSimClient *DaemonAppControlTest::sim = nullptr;
FakeLauncherModel *DaemonAppControlTest::launcherModel = nullptr;
QString DaemonAppControlTest::duWrapper;
QString DaemonAppControlTest::skipReason;

TEST_F(DaemonAppControlTest, LaunchesWhileStoppedAreWorkedOffOnConnect)
{
    ASSERT_EQ(world->world().unitProperties().value("ActiveState").toString(), "inactive");
    world->call("launchApp", {QString("com.example.app")});
    world->call("openAppSettings", {QString("com.example.app")});
    // The runtime is started, and the user told why.
    ASSERT_TRUE(world->waitForNotifications(2));
    EXPECT_EQ(world->notificationsPublished().first().body, "Starting Android App Support to open com.example.app");
    ASSERT_TRUE(TestWorld::waitFor([] { return !transactions("novum", 1).isEmpty(); }, 60000));
    EXPECT_EQ(transactions("novum", 1).first().value("args").toArray().at(1).toString(), "com.example.app");
    ASSERT_TRUE(waitForStarts(1));
    const QJsonObject settings = lastIntent();
    EXPECT_EQ(settings.value("action").toString(), "android.settings.APPLICATION_DETAILS_SETTINGS");
    EXPECT_EQ(settings.value("data").toString(), "package:com.example.app");
    EXPECT_EQ(settings.value("package").toString(), "com.android.settings");
    EXPECT_EQ(settings.value("flags").toInt(), 0x10008000);

    // Running: straight to the runtime's service, no notification.
    const int notes = world->notificationsPublished().size();
    world->call("launchApp", {QString("com.example.other")});
    ASSERT_TRUE(TestWorld::waitFor([] { return transactions("novum", 1).size() == 2; }, 5000));
    EXPECT_EQ(transactions("novum", 1).last().value("args").toArray().at(1).toString(), "com.example.other");
    EXPECT_EQ(world->notificationsPublished().size(), notes);

    // The runtime's service coming back before the package manager still
    // works off what was queued meanwhile.
    for (const char *service : {"package", "novum"})
        ASSERT_TRUE(sim->command({{"cmd", "withdraw"}, {"service", service}}).value("ok").toBool()) << service;
    TestWorld::waitFor([] { return false; }, 1000);   // ferryd sees both go
    world->call("launchApp", {QString("com.example.third")});
    ASSERT_TRUE(sim->command({{"cmd", "publish"}, {"service", "novum"}}).value("ok").toBool());
    ASSERT_TRUE(TestWorld::waitFor([] { return transactions("novum", 1).size() == 3; }, 10000));
    EXPECT_EQ(transactions("novum", 1).last().value("args").toArray().at(1).toString(), "com.example.third");
    ASSERT_TRUE(sim->command({{"cmd", "publish"}, {"service", "package"}}).value("ok").toBool());
}

TEST_F(DaemonAppControlTest, IntentsArriveDecoded)
{
    ASSERT_TRUE(runtimeUp());
    const int before = transactions("activity", startCode()).size();
    const QVariantMap extras{{"text", "hello"},
                             {"count", 5},
                             {"big", qlonglong(1) << 40},
                             {"names", QVariant::fromValue(QDBusVariant(QVariantList{"a", "b"}))}};
    EXPECT_EQ(launchIntent("", "/tmp/page.html", "text/html", "com.example.app", "com.example.app.Main",
                           "android.intent.category.LAUNCHER", extras)
                  .type(),
              QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitForStarts(before + 1));
    const QJsonObject start = transactions("activity", startCode()).last();
    const QJsonArray args = start.value("args").toArray();
    EXPECT_EQ(args.at(1).toBool(), false);            // no caller object
    EXPECT_EQ(args.at(2).toString(), "");             // calling package
    EXPECT_EQ(args.at(4).toString(), "text/html");    // resolved type
    const QJsonObject intent = start.value("intent").toObject();
    EXPECT_EQ(intent.value("action").toString(), "android.intent.action.MAIN");
    EXPECT_EQ(intent.value("flags").toInt(), 0x10004000);
    EXPECT_EQ(intent.value("data").toString(), "file:///tmp/page.html");
    EXPECT_EQ(intent.value("package").toString(), "com.example.app");
    EXPECT_EQ(intent.value("componentClass").toString(), "com.example.app.Main");
    EXPECT_EQ(intent.value("categories").toArray(), QJsonArray{"android.intent.category.LAUNCHER"});
    EXPECT_EQ(intent.value("extras").toObject(),
              (QJsonObject{{"text", "hello"}, {"count", 5}, {"big", double(qlonglong(1) << 40)}, {"names", QJsonArray{"a", "b"}}}));
    EXPECT_FALSE(intent.contains("unreadable"));

    // Shares: files, and a link given as a nested map.
    const QVariantMap method{{"methodId", "com.example.share/com.example.share.Send"}};
    world->call("share", {QVariantMap{{"resources", QVariantList{"/tmp/1.jpg", "/tmp/2.jpg"}},
                                      {"mimeType", "image/jpeg"}, {"selectedTransferMethodInfo", method}}});
    const QVariantMap link{{"name", ""}, {"linkTitle", "T"}, {"data", "U"}};
    world->call("share", {QVariantMap{{"resources", QVariantList{QVariant::fromValue(QDBusVariant(link))}},
                                      {"mimeType", "text/x-url"}, {"selectedTransferMethodInfo", method}}});
    // A methodId without a class is refused: nothing reaches the runtime.
    world->call("share", {QVariantMap{{"resources", QVariantList{"/tmp/3.jpg"}}, {"mimeType", "image/jpeg"},
                                      {"selectedTransferMethodInfo", QVariantMap{{"methodId", "com.example.share"}}}}});
    ASSERT_TRUE(waitForStarts(before + 3));
    TestWorld::waitFor([] { return false; }, 300);
    const QList<QJsonObject> shares = transactions("activity", startCode()).mid(before + 1);
    ASSERT_EQ(shares.size(), 2);
    const QJsonObject files = shares.at(0).value("intent").toObject();
    EXPECT_EQ(files.value("action").toString(), "android.intent.action.SEND_MULTIPLE");
    EXPECT_EQ(files.value("type").toString(), "image/jpeg");
    EXPECT_EQ(files.value("flags").toInt(), 0x10008000);
    EXPECT_EQ(files.value("componentClass").toString(), "com.example.share.Send");
    EXPECT_EQ(files.value("extras").toObject().value("android.intent.extra.STREAM").toArray(),
              (QJsonArray{QJsonObject{{"uri", "file:///tmp/1.jpg"}}, QJsonObject{{"uri", "file:///tmp/2.jpg"}}}));
    const QJsonObject text = shares.at(1).value("intent").toObject();
    EXPECT_EQ(text.value("action").toString(), "android.intent.action.SEND");
    EXPECT_EQ(text.value("type").toString(), "text/plain");
    EXPECT_EQ(text.value("extras").toObject(),
              (QJsonObject{{"android.intent.extra.SUBJECT", "T"}, {"android.intent.extra.TEXT", "U"}}));
}

TEST_F(DaemonAppControlTest, WindowWaitLeavesTheDaemonServing)
{
    ASSERT_TRUE(runtimeUp());
    ASSERT_TRUE(control("SurfaceFlinger", {QJsonObject{{"i32", 3000}}}).value("ok").toBool());
    const int starts = transactions("activity", startCode()).size();
    const int checks = transactions("SurfaceFlinger", 103).size();
    launchIntent("", "", "", "com.example.slow", "", "");
    launchIntent("android.intent.action.VIEW", "", "", "", "", "");   // waits behind the first
    // Another caller is answered while the window is awaited.
    QElapsedTimer timer;
    timer.start();
    const QDBusMessage version = world->call("getAndroidVersionData");
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(version.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(transactions("activity", startCode()).size(), starts + 1);

    ASSERT_TRUE(waitForStarts(starts + 2));
    const QList<QJsonObject> seen = transactions("SurfaceFlinger", 103).mid(checks);
    ASSERT_GE(seen.size(), 4);
    ASSERT_LE(seen.size(), 8);
    EXPECT_TRUE(seen.last().value("args").toArray().at(2).toBool());
    EXPECT_EQ(seen.first().value("args").toArray().at(1).toString(), "com.example.slow");
    // Checks are 500 ms apart; the next Intent follows the window.
    EXPECT_GE(seen.at(1).value("time").toDouble() - seen.at(0).value("time").toDouble(), 450);
    EXPECT_GE(transactions("activity", startCode()).last().value("time").toDouble(),
              seen.last().value("time").toDouble());

    // A window that never comes: ten checks, then the queue goes on.
    ASSERT_TRUE(control("SurfaceFlinger", {QJsonObject{{"i32", 600000}}}).value("ok").toBool());
    const int checks2 = transactions("SurfaceFlinger", 103).size();
    launchIntent("", "", "", "com.example.never", "", "");
    launchIntent("android.intent.action.VIEW", "", "", "", "", "");
    ASSERT_TRUE(TestWorld::waitFor([&] { return transactions("activity", startCode()).size() == starts + 4; }, 10000));
    EXPECT_EQ(transactions("SurfaceFlinger", 103).size(), checks2 + 10);
    control("SurfaceFlinger", {QJsonObject{{"i32", 0}}});
}

TEST_F(DaemonAppControlTest, AppSizes)
{
    ASSERT_TRUE(runtimeUp());
    const struct
    {
        const char *package;
        qint64 code, data, cache;
        qint64 expectedData, expectedCache;
    } cases[] = {
        {"com.example.sized", 1000, 3000, 500, 2500, 500},
        {"com.example.liar", 10, 5, 50, 0, 50},           // cache above data
        {"com.example.negative", -7, -1, -3, 0, 0},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(control("storagestats", {QJsonObject{{"s16", c.package}}, QJsonObject{{"i64", c.code}},
                                              QJsonObject{{"i64", c.data}}, QJsonObject{{"i64", c.cache}}})
                        .value("ok")
                        .toBool());
        const QDBusMessage reply = world->call("getAppSize", {QString(c.package)});
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
        const QDBusArgument arg = reply.arguments().value(0).value<QDBusArgument>();
        qint64 code = -1, data = -1, cache = -1;
        arg.beginStructure();
        arg >> code >> data >> cache;
        arg.endStructure();
        EXPECT_EQ(code, qMax<qint64>(c.code, 0)) << c.package;
        EXPECT_EQ(data, c.expectedData) << c.package;
        EXPECT_EQ(cache, c.expectedCache) << c.package;
    }
    const QJsonArray query = transactions("storagestats", statsCode()).last().value("args").toArray();
    EXPECT_TRUE(query.at(1).isNull());   // volume
    EXPECT_EQ(query.at(2).toString(), "com.example.negative");

}

TEST_F(DaemonAppControlTest, DataUsageThroughDu)
{
    // Through du, beside other callers when du is slow.
    const QString appData = world->dataRoot() + "/data/data/com.example.sized/";
    QDir().mkpath(appData);
    QFile blob(appData + "blob");
    ASSERT_TRUE(blob.open(QIODevice::WriteOnly));
    blob.write(QByteArray(200000, 'x'));
    blob.close();
    // What du itself says (on the guest's overlay "-x" may stop at
    // directories made since boot, so the figure is taken, not guessed).
    QProcess du;
    du.start("/usr/bin/du", {"-sxb", world->dataRoot() + "/data/data/"});
    ASSERT_TRUE(du.waitForFinished());
    const qulonglong expected = du.readAllStandardOutput().split('\t').value(0).toULongLong();
    ASSERT_GT(expected, 0u);
    const QDBusMessage usage = world->call("getAndroidAppDataUsage");
    ASSERT_EQ(usage.type(), QDBusMessage::ReplyMessage) << qPrintable(usage.errorMessage());
    EXPECT_EQ(usage.arguments().value(0).toULongLong(), expected);

    world->makeFile("du-slow", "");
    QDBusMessage request = QDBusMessage::createMethodCall("com.kestrel.ferryd", "/com/kestrel/ferryd",
                                                          "com.kestrel.ferryd", "getAndroidAppDataUsage");
    QDBusPendingCall slow = QDBusConnection::systemBus().asyncCall(request);
    TestWorld::waitFor([] { return false; }, 300);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(world->call("getAndroidVersionData").type(), QDBusMessage::ReplyMessage);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(slow.isFinished());
    slow.waitForFinished();
    EXPECT_EQ(slow.reply().arguments().value(0).toULongLong(), expected);
    QFile::remove(world->path("du-slow"));

    world->makeFile("du-broken", "");
    EXPECT_EQ(world->call("getAndroidAppDataUsage").arguments().value(0).toULongLong(), 0u);
    QFile::remove(world->path("du-broken"));
}

TEST_F(DaemonAppControlTest, StartOnBootAndItsSignal)
{
    ASSERT_TRUE(runtimeUp());
    SignalCatcher catcher;
    ASSERT_TRUE(QDBusConnection::systemBus().connect(QString(), "/com/kestrel/ferryd", "com.kestrel.ferryd",
                                                     "appStartOnBootupChanged", &catcher,
                                                     SLOT(changed(QString, bool))));
    const QString app("com.example.boot");
    EXPECT_FALSE(world->call("getAppStartOnBootup", {app}).arguments().value(0).toBool());
    world->call("setAppStartOnBootup", {app, true});
    world->call("setAppStartOnBootup", {app, true});    // already so: no signal
    EXPECT_TRUE(world->call("getAppStartOnBootup", {app}).arguments().value(0).toBool());
    ASSERT_TRUE(TestWorld::waitFor([&] { return !catcher.changes.isEmpty(); }, 5000));
    world->call("setAppStartOnBootup", {app, false});
    ASSERT_TRUE(TestWorld::waitFor([&] { return catcher.changes.size() == 2; }, 5000));
    TestWorld::waitFor([] { return false; }, 300);
    EXPECT_EQ(catcher.changes, (QList<QPair<QString, bool>>{{app, true}, {app, false}}));
    EXPECT_FALSE(transactions("deviceidle", whitelistedCode()).isEmpty());
    EXPECT_EQ(transactions("deviceidle", 2).last().value("whitelist").toArray(), QJsonArray());
}

TEST_F(DaemonAppControlTest, AppDataMethodsNeedAPrivilegedCaller)
{
    ASSERT_TRUE(runtimeUp());
    const QString app("com.example.victim");
    const struct
    {
        const char *method;
        QStringList args;
        const char *service;
        int code;
    } cases[] = {
        {"clearAppUserData", {"string:" + app}, "package", clearCode()},
        {"deleteAppCacheFiles", {"string:" + app}, "package", testSdk() >= 29 ? 103 : 100},
        {"forceStopApp", {"string:" + app}, "activity", forceStopCode()},
        {"setAppStartOnBootup", {"string:" + app, "boolean:true"}, "deviceidle", 1},
    };
    for (const auto &c : cases) {
        const int before = transactions(c.service, c.code).size();
        int exitCode = -1;
        const QString out = world->callAs(kNobody, kNobody, c.method, c.args, &exitCode);
        EXPECT_EQ(exitCode, 0) << c.method << qPrintable(out);   // refused quietly, no D-Bus error
        QVariantList args{app};
        if (c.args.size() > 1)
            args << true;
        EXPECT_EQ(world->call(c.method, args).type(), QDBusMessage::ReplyMessage) << c.method;
        ASSERT_TRUE(TestWorld::waitFor([&] { return transactions(c.service, c.code).size() > before; }, 5000))
            << c.method;
        TestWorld::waitFor([] { return false; }, 200);
        // Only the privileged (root) call got through.
        EXPECT_EQ(transactions(c.service, c.code).size(), before + 1) << c.method;
        EXPECT_EQ(transactions(c.service, c.code).last().value("args").toArray().at(1).toString(), app) << c.method;
    }
    // Other methods stay open.
    int exitCode = -1;
    const QString out = world->callAs(kNobody, kNobody, "getAppStartOnBootup", {"string:" + app}, &exitCode);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(out.contains("boolean true")) << qPrintable(out);
}

TEST_F(DaemonAppControlTest, RuntimeUpgradeIsToldToTheLauncherModel)
{
    const QStringList names{"ferryd_handler_com_example_b-http", "ferryd_launcher_com_example_a-com_example_a_Main"};
    QStringList paths;
    for (const QString &name : names) {
        const QString path = world->applicationsDir() + name + ".desktop";
        QFile entry(path);
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nName=X\nX-ferryd-packageName=com.example.x\n");
        paths << path;
    }
    world->call("notifyRuntimeUpgrade", {true});
    world->call("notifyRuntimeUpgrade", {false});
    ASSERT_TRUE(TestWorld::waitFor([] { return launcherModel->calls.size() == 4; }, 5000));
    // One call per entry (base name, full path), started before finished.
    const QList<QStringList> expected{{"updatingStarted", names.at(0), "", "", paths.at(0)},
                                      {"updatingStarted", names.at(1), "", "", paths.at(1)},
                                      {"updatingFinished", names.at(0)},
                                      {"updatingFinished", names.at(1)}};
    EXPECT_EQ(launcherModel->calls, expected);
    for (const QString &path : paths)
        QFile::remove(path);
}

} // namespace

#include "test_daemon_appcontrol.moc"
