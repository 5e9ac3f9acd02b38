// ferryd-bridge as a real process: notifications posted by the simulated
// runtime reach the recording notification server, and what the user does
// there reaches the runtime.
#include "notificationworld.h"

#include <QBuffer>
#include <QDBusConnection>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <csignal>

namespace {

const QString kPackage = QStringLiteral("com.example.chat");

NotificationWorld *world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new NotificationWorld;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        // Started while the runtime is down: it must pick the runtime up.
        ASSERT_TRUE(world->startBridge("com.example.blocked\ncom.example.chat:-promo\n"));
        ASSERT_TRUE(world->sim.bringUp());
        ASSERT_TRUE(world->waitServiceRegistered());
        ASSERT_EQ(world->registerCallback().value("status").toInt(-1), 0);
    }
    void TearDown() override
    {
        delete world;
        world = nullptr;
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

QString pngBase64(QColor color)
{
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray png;
    QBuffer buffer(&png);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(png.toBase64());
}

QJsonObject record(const QString &key, const QString &title = QStringLiteral("Anna"))
{
    return {{"key", key},           {"appName", "Chat"},     {"title", title},       {"text", "See you at 5?"},
            {"subText", "2 new"},   {"color", double(0xff3366cc)},   {"smallIcon", pngBase64(Qt::red)},
            {"largeIcon", pngBase64(Qt::green)},             {"package", kPackage},  {"extra", "x"},
            {"silent", false},      {"vibrate", true},       {"led", double(0xff00ff00)},    {"progressMax", 4},
            {"progress", 1},        {"indeterminate", false}, {"postTime", 1700000000000.0},
            {"importance", 4},      {"number", 2},           {"category", "msg"},    {"channel", "dm"},
            {"actions", QJsonArray{"Reply", "Mark read"}}};
}

bool waitCallbacks(int count)
{
    return TestWorld::waitFor([&] { return world->callbacks().size() >= count; }, 10000);
}

TEST(BridgeNotifications, PostReachesTheServerWithEveryHint)
{
    ASSERT_EQ(world->post(record("k-hints")).value("status").toInt(-1), 0);
    const FakeNotificationServer::Entry e = world->liveByKey("k-hints");
    ASSERT_NE(e.id, 0u);
    EXPECT_EQ(e.appName, "Chat");
    EXPECT_EQ(e.summary, "Anna");
    EXPECT_EQ(e.body, "See you at 5?");
    EXPECT_EQ(e.replacesId, 0u);
    EXPECT_EQ(e.actions, (QStringList{"Reply", "Reply", "Mark read", "Mark read", "app", ""}));
    const struct
    {
        const char *hint;
        QVariant value;
    } hints[] = {
        {"x-nemo-origin-key", "k-hints"},   {"x-nemo-origin-package", kPackage}, {"category", "chat"},
        {"x-nemo-feedback", "chat"},        {"x-nemo-color", "#3366cc"},         {"x-nemo-vibrate", true},
        {"x-nemo-display-on", true},        {"x-nemo-led-argb", int(0xff00ff00)}, {"x-nemo-progress", 0.25},
        {"x-nemo-priority", 100},           {"x-nemo-item-count", 2},
        {"x-nemo-sub-text", "2 new"},       {"x-nemo-timestamp", "2023-11-14T22:13:20Z"},
    };
    for (const auto &h : hints)
        EXPECT_EQ(e.hints.value(h.hint).toString(), h.value.toString()) << h.hint;
    EXPECT_EQ(e.hints.value("urgency").toInt(), 2);
    EXPECT_FALSE(e.hints.contains("suppress-sound"));
    EXPECT_TRUE(e.hints.contains("image-data"));
    EXPECT_EQ(QFileInfo(e.appIcon).absolutePath(), world->iconDir());
    EXPECT_EQ(QImage(e.appIcon).pixelColor(0, 0), QColor(Qt::red));
}

TEST(BridgeNotifications, RepostsKeepTheIdAndOnlyChangesAlert)
{
    world->post(record("k-repost"));
    const uint id = world->liveByKey("k-repost").id;
    ASSERT_NE(id, 0u);
    world->post(record("k-repost"));
    FakeNotificationServer::Entry same = world->published().last();
    EXPECT_EQ(same.replacesId, id);
    EXPECT_EQ(same.id, id);
    EXPECT_EQ(same.hints.value("x-nemo-preview-summary").toString(), "");
    EXPECT_EQ(same.hints.value("x-nemo-preview-body").toString(), "");
    EXPECT_TRUE(same.hints.contains("x-nemo-preview-body"));
    EXPECT_EQ(same.hints.value("x-nemo-vibrate").toBool(), false);
    EXPECT_EQ(same.hints.value("suppress-sound").toBool(), true);

    world->post(record("k-repost", "Anna (2)"));
    FakeNotificationServer::Entry changed = world->published().last();
    EXPECT_EQ(changed.id, id);
    EXPECT_EQ(changed.summary, "Anna (2)");
    EXPECT_FALSE(changed.hints.contains("x-nemo-preview-summary"));
    EXPECT_EQ(changed.hints.value("x-nemo-vibrate").toBool(), true);
}

TEST(BridgeNotifications, RemovalFromAndroidIsNotReportedBackAndTheKeyStartsAfresh)
{
    world->post(record("k-remove"));
    const uint id = world->liveByKey("k-remove").id;
    const QString icon = world->liveByKey("k-remove").appIcon;
    const int before = world->callbacks().size();
    ASSERT_EQ(world->remove("k-remove").value("status").toInt(-1), 0);
    EXPECT_TRUE(world->closeRequests().contains(id));
    EXPECT_FALSE(world->live().contains(id));
    EXPECT_FALSE(QFile::exists(icon));

    world->post(record("k-remove"));
    const FakeNotificationServer::Entry again = world->liveByKey("k-remove");
    EXPECT_EQ(again.replacesId, 0u);
    EXPECT_NE(again.id, id);
    EXPECT_TRUE(again.hints.value("x-nemo-vibrate").toBool());
    QThread::msleep(300);
    EXPECT_EQ(world->callbacks().size(), before);
}

TEST(BridgeNotifications, UserActionsAndDismissalsReachAndroid)
{
    world->post(record("k-user"));
    const uint id = world->liveByKey("k-user").id;
    const int before = world->callbacks().size();
    world->server()->invokeAction(id, "Reply");
    ASSERT_TRUE(waitCallbacks(before + 1));
    EXPECT_EQ(world->callbacks().at(before), (QJsonArray{1, "k-user", "Reply"}));

    const QString icon = world->liveByKey("k-user").appIcon;
    world->server()->closeFromServer(id, 2);
    ASSERT_TRUE(waitCallbacks(before + 2));
    EXPECT_EQ(world->callbacks().at(before + 1), (QJsonArray{2, "k-user"}));
    EXPECT_FALSE(QFile::exists(icon));
}

class AppClosedRecorder : public QObject
{
    Q_OBJECT
public slots:
    void appClosed(const QString &app) { apps << app; }

public:
    QStringList apps;
};

TEST(BridgeNotifications, AppActionBringsTheAppForwardAndStartsTheServiceMonitor)
{
    world->post(record("k-app"));
    world->server()->invokeAction(world->liveByKey("k-app").id, "app");
    // Launched, and the monitor registered its listener (code 15).
    for (const QJsonArray &wanted : {QJsonArray{"launch", kPackage}, QJsonArray{"setListener", "binder"}})
        ASSERT_TRUE(TestWorld::waitFor([&] {
            for (const QJsonObject &line : world->sim.received("novum"))
                if (line.value("args").toArray() == wanted)
                    return true;
            return false;
        })) << qPrintable(wanted.at(0).toString());
    AppClosedRecorder recorder;
    ASSERT_TRUE(QDBusConnection::systemBus().connect(QString(), "/com/kestrel/ferryd", "com.kestrel.ferryd",
                                                     "appClosed", &recorder, SLOT(appClosed(QString))));
    const QJsonObject answer = world->sim.command({{"cmd", "call"}, {"service", "novum"}, {"code", 0x5eed0002},
                                                   {"args", QJsonArray{QJsonObject{{"s16", kPackage}},
                                                                       QJsonObject{{"i32", 1}}}}});
    EXPECT_EQ(answer.value("ints").toArray().at(1).toInt(-1), 0);
    EXPECT_TRUE(TestWorld::waitFor([&] { return recorder.apps == QStringList{kPackage}; }));
}

TEST(BridgeNotifications, BlacklistedAndMalformedPostsShowNothing)
{
    const int before = world->published().size();
    QJsonObject blocked = record("k-blocked");
    blocked["package"] = "com.example.blocked";
    QJsonObject promo = record("k-promo");
    promo["channel"] = "promo";
    for (const QJsonObject &r : {blocked, promo})
        EXPECT_EQ(world->post(r).value("status").toInt(-1), 0);
    // A record that lies about its action count, and one with no key.
    const QString null16 = QStringLiteral("ffffffff"), zero = QStringLiteral("00000000");
    const QString lying = QStringLiteral("0100000061000000") + null16.repeated(4) + zero + null16.repeated(4)
                          + zero.repeated(6) + zero.repeated(2) + zero.repeated(2) + null16.repeated(2)
                          + QStringLiteral("ffffff7f0100000078000000");
    EXPECT_EQ(world->notify({{"op", "raw"}, {"code", 2}, {"hex", lying}}).value("status").toInt(-1), 0);
    EXPECT_EQ(world->post(record("")).value("status").toInt(-1), 0);
    // Unknown codes fail.
    EXPECT_NE(world->notify({{"op", "raw"}, {"code", 9}, {"hex", ""}}).value("status").toInt(0), 0);
    EXPECT_EQ(world->published().size(), before);
}

TEST(BridgeNotifications, CallbackDeathClosesEverything)
{
    world->post(record("k-death"));
    ASSERT_NE(world->liveByKey("k-death").id, 0u);
    ASSERT_TRUE(world->sim.command({{"cmd", "kill-remote"}, {"service", "notificationposter"}, {"republish", true}})
                    .value("ok").toBool());
    EXPECT_TRUE(TestWorld::waitFor([&] { return world->live().isEmpty(); }));
    EXPECT_TRUE(QDir(world->iconDir()).entryList(QDir::Files).isEmpty());
    // Posting goes on without a callback; the user's dismissal has nowhere to go.
    world->post(record("k-orphan"));
    const int before = world->callbacks().size();
    world->server()->closeFromServer(world->liveByKey("k-orphan").id, 2);
    QThread::msleep(300);
    EXPECT_EQ(world->callbacks().size(), before);
    ASSERT_EQ(world->registerCallback().value("status").toInt(-1), 0);
}

TEST(BridgeNotifications, RuntimeStopClosesEverythingAndItsStartBringsTheServiceBack)
{
    world->post(record("k-stop"));
    ASSERT_FALSE(QDir(world->iconDir()).entryList(QDir::Files).isEmpty());
    ASSERT_TRUE(world->sim.bringDown());
    EXPECT_TRUE(TestWorld::waitFor([&] { return world->live().isEmpty(); }));
    EXPECT_TRUE(QDir(world->iconDir()).exists());
    EXPECT_TRUE(QDir(world->iconDir()).entryList(QDir::Files).isEmpty());

    ASSERT_TRUE(world->sim.bringUp());
    ASSERT_TRUE(world->waitServiceRegistered());
    ASSERT_EQ(world->registerCallback().value("status").toInt(-1), 0);
    ASSERT_EQ(world->post(record("k-after")).value("status").toInt(-1), 0);
    EXPECT_NE(world->liveByKey("k-after").id, 0u);
    EXPECT_TRUE(world->sim.world.isProcessRunning(world->bridgePid()));
}

// Last: the bridge does not come back.
TEST(BridgeNotifications, TerminationClosesEveryHostNotification)
{
    world->post(record("k-term-1"));
    world->post(record("k-term-2"));
    ASSERT_GE(world->live().size(), 2);
    ASSERT_TRUE(world->stopBridge());
    EXPECT_TRUE(world->live().isEmpty());
    // It quit through its event loop, not killed by the signal.
    EXPECT_EQ(world->sim.world.processExitStatus(world->bridgePid()), 0);
}

} // namespace

#include "test_bridge_notifications_vm.moc"
