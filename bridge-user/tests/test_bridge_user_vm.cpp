// ferryd-bridge-user as a real process: its HALs called from the simulated
// runtime, fed by the test plug-ins.
#include "bridgeuserworld.h"
#include "fakemce.h"
#include "recordingservice.h"

#include <ferry/binder/remote_object.h>
#include <ferry/binder/service_manager.h>

#include <QDBusArgument>
#include <QDBusConnection>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sys/wait.h>

namespace {

const QString kGnss = QStringLiteral("android.hardware.gnss@1.0::IGnss/default_novum");
const QString kGnss10 = QStringLiteral("android.hardware.gnss@1.0::IGnss");
const QString kGnss20 = QStringLiteral("android.hardware.gnss@2.0::IGnss");
const QString kGnss21 = QStringLiteral("android.hardware.gnss@2.1::IGnss");

BridgeUserWorld *world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new BridgeUserWorld;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        world->sim.setStartServices(QStringLiteral("none"));
        // The host's own HAL service manager, for the forwarded HALs.
        ASSERT_NE(world->sim.world.startProcess(QStringLiteral(FERRY_SERVICEMANAGER_BIN),
                                                {QStringLiteral("/dev/hwbinder"), QStringLiteral("hidl")}, {},
                                                QStringLiteral("ready")),
                  0);
        // The bridge comes first: its HALs must register once the runtime's
        // HAL service manager appears.
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

QJsonArray ints(const QJsonObject &answer)
{
    return answer.value(QStringLiteral("ints")).toArray();
}

QList<QJsonObject> since(const QList<QJsonObject> &all, int count)
{
    return all.mid(count);
}

QJsonArray codes(const QList<QJsonObject> &lines)
{
    QJsonArray list;
    for (const QJsonObject &line : lines)
        list.append(line.value(QStringLiteral("code")));
    return list;
}

// setPositionMode's five int32 (interval third), and the 1.1 bool if given.
QJsonArray positionMode(int intervalMs, bool withLowPowerBool)
{
    QJsonArray args;
    for (int v : {0, 0, intervalMs, 0, 0})
        args.append(QJsonObject{{"i32", v}});
    if (withLowPowerBool)
        args.append(QJsonObject{{"i8", 1}});
    return args;
}

QJsonObject callbackArg(const QString &interface, const QString &name)
{
    return {{"binder", QJsonObject{{"interface", interface}, {"name", name}}}};
}

TEST(BridgeUser, HalsRegisterWhenTheManagerAppearsAndAgainAfterARestart)
{
    ASSERT_TRUE(world->waitRegistered(QStringLiteral("android.hardware.gnss@2.1::IGnss/default_novum")));
    EXPECT_TRUE(world->isRegistered(kGnss));
    ASSERT_TRUE(world->sim.bringDown());
    ASSERT_TRUE(world->sim.bringUp());
    EXPECT_TRUE(world->waitRegistered(kGnss));
}

TEST(BridgeUser, Gnss21CallbackGetsStatusLocationsAndSatellites)
{
    ASSERT_TRUE(world->waitRegistered(kGnss));
    const QString cb = QStringLiteral("gnss21");
    QJsonObject answer = world->callHal(kGnss, kGnss21, 34,
                                        {callbackArg(QStringLiteral("android.hardware.gnss@2.1::IGnssCallback"), cb)});
    EXPECT_EQ(ints(answer), (QJsonArray{0, 1}));
    QList<QJsonObject> got = world->sim.received(cb);
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].value("capabilities").toInt(), 1);
    EXPECT_EQ(got[1].value("yearOfHw").toInt(), 2015);

    // setPositionMode (1.0 code) from a 2.0 caller still carries the bool.
    answer = world->callHal(kGnss, kGnss20, 8, positionMode(1500, true));
    EXPECT_EQ(ints(answer), (QJsonArray{0, 1}));
    // A truncated request is refused, not read past its end.
    answer = world->callHal(kGnss, kGnss20, 8, positionMode(1500, false));
    EXPECT_NE(answer.value("status").toInt(), 0);

    int seen = world->sim.received(cb).size();
    answer = world->callHal(kGnss, kGnss21, 2);
    EXPECT_EQ(ints(answer), (QJsonArray{0, 1}));
    got = since(world->sim.received(cb), seen);
    EXPECT_EQ(codes(got), (QJsonArray{2, 2}));
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].value("status").toInt(), 3);   // engine on, then session begin
    EXPECT_EQ(got[1].value("status").toInt(), 1);

    seen += got.size();
    ASSERT_TRUE(world->position({{"position", QJsonObject{{"lat", 48.5}, {"lon", 9.25}, {"alt", 400}, {"time", 1700000000000.0}}}}));
    ASSERT_TRUE(world->position({{"inView", QJsonArray{QJsonObject{{"id", 70}, {"strength", 31}, {"elevation", 45}, {"azimuth", 180}},
                                                       QJsonObject{{"id", 40}, {"strength", 20}}}}}));
    ASSERT_TRUE(world->position({{"inUse", QJsonArray{QJsonObject{{"id", 70}, {"strength", 31}}}}}));
    got = since(world->sim.received(cb), seen);
    ASSERT_EQ(codes(got), (QJsonArray{13, 17}));
    const QJsonObject location = got[0].value("location").toObject();
    EXPECT_EQ(location.value("size").toInt(), 88);
    EXPECT_EQ(location.value("flags").toInt(), 1 | 2 | 4);   // speed flag without a speed
    EXPECT_EQ(location.value("speed").toDouble(), 0.0);
    EXPECT_EQ(location.value("lat").toDouble(), 48.5);
    EXPECT_EQ(location.value("time").toDouble(), 1700000000000.0);
    const QJsonArray svs = got[1].value("svs").toArray();
    ASSERT_EQ(svs.size(), 2);
    EXPECT_EQ(svs[0].toObject().value("svid").toInt(), 6);
    EXPECT_EQ(svs[0].toObject().value("constellation").toInt(), 3);
    EXPECT_EQ(svs[0].toObject().value("flags").toInt(), 4);
    EXPECT_EQ(svs[0].toObject().value("elevation").toDouble(), 45.0);
    EXPECT_EQ(svs[1].toObject().value("svid").toInt(), 127);
    EXPECT_EQ(svs[1].toObject().value("constellation").toInt(), 2);
    EXPECT_EQ(svs[1].toObject().value("flags").toInt(), 0);

    seen += got.size();
    answer = world->callHal(kGnss, kGnss21, 3);
    EXPECT_EQ(ints(answer), (QJsonArray{0, 1}));
    ASSERT_TRUE(world->position({{"position", QJsonObject{{"lat", 1}, {"lon", 2}}}}));
    got = since(world->sim.received(cb), seen);
    ASSERT_EQ(got.size(), 2);   // nothing sent once stopped
    EXPECT_EQ(got[0].value("status").toInt(), 2);   // session end, then engine off
    EXPECT_EQ(got[1].value("status").toInt(), 4);

    QStringList requests;
    for (const QJsonObject &r : world->positionRequests())
        requests << r.value("source").toString() + ':' + r.value("event").toString() + ':' + QString::number(r.value("value").toInt(-1));
    EXPECT_EQ(requests, (QStringList{"position:interval:1500", "satellite:interval:1500", "position:start:-1",
                                     "satellite:start:-1", "position:stop:-1", "satellite:stop:-1"}));
}

TEST(BridgeUser, Gnss10CallbackGetsTheOldLayouts)
{
    ASSERT_TRUE(world->waitRegistered(kGnss));
    const QString cb = QStringLiteral("gnss10");
    world->callHal(kGnss, kGnss10, 1, {callbackArg(QStringLiteral("android.hardware.gnss@1.0::IGnssCallback"), cb)});
    EXPECT_EQ(ints(world->callHal(kGnss, kGnss10, 8, positionMode(1000, false))),
              (QJsonArray{0, 1}));
    world->callHal(kGnss, kGnss10, 2);
    const int seen = world->sim.received(cb).size();
    ASSERT_TRUE(world->position({{"position", QJsonObject{{"lat", 1}, {"lon", 2}, {"speed", 3}, {"time", 5}}}}));
    ASSERT_TRUE(world->position({{"inView", QJsonArray{QJsonObject{{"id", 5}, {"strength", 20}}}}, {"inUse", QJsonArray{}}}));
    const QList<QJsonObject> got = since(world->sim.received(cb), seen);
    ASSERT_EQ(codes(got), (QJsonArray{1, 3}));
    EXPECT_EQ(got[0].value("location").toObject().value("size").toInt(), 64);
    EXPECT_EQ(got[0].value("location").toObject().value("flags").toInt(), 1 | 4);
    EXPECT_EQ(got[1].value("numSvs").toInt(), 1);
    EXPECT_EQ(got[1].value("svs").toArray()[0].toObject().value("svid").toInt(), 5);

    // Unsupported methods answer false, extensions a null interface,
    // unknown codes nothing.
    EXPECT_EQ(ints(world->callHal(kGnss, kGnss10, 5)), (QJsonArray{0, 0}));
    EXPECT_EQ(ints(world->callHal(kGnss, kGnss21, 30)), (QJsonArray{0, 0}));
    EXPECT_NE(world->callHal(kGnss, kGnss21, 39).value("status").toInt(), 0);
    world->callHal(kGnss, kGnss10, 4);   // cleanup
}

TEST(BridgeUser, VibratorDrivesTheHapticsEffectAndThemeEffects)
{
    const QString vibrator = QStringLiteral("android.hardware.vibrator@1.0::IVibrator/default_novum");
    ASSERT_TRUE(world->waitRegistered(vibrator));
    const int before = world->feedbackRequests().size();
    const QJsonArray noArgs;
    const struct {
        int code;
        QJsonArray args;
        QJsonArray reply;
    } calls[] = {
        {1, {QJsonObject{{"u32", 500}}}, {0, 0}},                               // on(500)
        {2, noArgs, {0, 0}},                                                    // off
        {3, noArgs, {0, 1}},                                                    // supportsAmplitudeControl
        {4, {QJsonObject{{"u32", 128}}}, {0, 0}},                               // setAmplitude(128)
        {4, {QJsonObject{{"u32", 0}}}, {0, 2}},                                 // BAD_VALUE
        {5, {QJsonObject{{"u32", 0}}, QJsonObject{{"u32", 2}}}, {0, 0, 30}},    // click, strong
        {5, {QJsonObject{{"u32", 1}}, QJsonObject{{"u32", 0}}}, {0, 3, 0}},     // double click
    };
    for (const auto &call : calls)
        EXPECT_EQ(ints(world->callHal(vibrator, QString(), call.code, call.args)), call.reply) << call.code;
    EXPECT_NE(world->callHal(vibrator, QString(), 1).value("status").toInt(), 0);   // on() without its argument

    const QStringList got = world->feedbackRequests().mid(before);
    // The effect is stopped by off() long before its 500 ms; the intensity
    // is set once (128/255), not by the refused 0; the strong press played.
    EXPECT_TRUE(got.contains("duration=500")) << got.join(' ').toStdString();
    EXPECT_LT(got.indexOf("state=running"), got.indexOf("state=stopped"));
    EXPECT_EQ(got.filter("intensity=").size(), 1) << got.join(' ').toStdString();
    EXPECT_TRUE(got.filter("intensity=").value(0).startsWith("intensity=0.50196")) << got.join(' ').toStdString();
    EXPECT_EQ(got.filter("theme=").join(' '), QStringLiteral("theme=%1").arg(int(4)));   // PressStrong
}

TEST(BridgeUser, MceServiceHoldsTheDisplayOn)
{
    FakeMce mce(QDBusConnection::systemBus());
    ASSERT_TRUE(mce.isRegistered());
    ASSERT_TRUE(TestWorld::waitFor([] {
        const QJsonObject answer = world->sim.command({{"cmd", "list"}, {"device", "/dev/vororoveredi"}}, 5000);
        return answer.value(QStringLiteral("names")).toArray().contains(QStringLiteral("novum.mce"));
    }));
    const auto prevent = [](int code, int value) {
        return world->sim.command({{"cmd", "call"}, {"service", "novum.mce"}, {"interface", "INovumMce"},
                                   {"code", code}, {"args", QJsonArray{QJsonObject{{"i32", value}}}}})
            .value("status")
            .toInt(-1);
    };
    EXPECT_EQ(prevent(1, 2), 0);   // any non-zero value prevents
    EXPECT_TRUE(TestWorld::waitFor([&] { return mce.blankingRequests() == QStringList{"pause"}; }))
        << mce.blankingRequests().join(' ').toStdString();
    EXPECT_EQ(prevent(2, 0), 0);   // another code changes nothing
    EXPECT_EQ(prevent(1, 0), 0);
    EXPECT_TRUE(TestWorld::waitFor([&] { return mce.blankingRequests() == (QStringList{"pause", "cancel"}); }))
        << mce.blankingRequests().join(' ').toStdString();
}

// A host application that never answers: the bridge must not wait for it.
class SilentApplication : public RecordingService
{
public:
    using RecordingService::RecordingService;

protected:
    QDBusMessage answer(const QDBusMessage &message, const QDBusConnection &) override
    {
        message.setDelayedReply(true);
        return QDBusMessage();
    }
};

TEST(BridgeUser, NativeCallsReachTheHostApplicationsWithoutWaitingForThem)
{
    // One connection each: messages serves everything below "/".
    const auto connection = [](const char *name) {
        return QDBusConnection::connectToBus(world->sim.world.sessionBusAddress(), QString::fromLatin1(name));
    };
    RecordingService email(connection("email"), QStringLiteral("com.kestrel.email.ui"), QStringLiteral("/com/kestrel/email/ui"));
    RecordingService messages(connection("messages"), QStringLiteral("org.rovidezir.Messages"), QStringLiteral("/"));
    SilentApplication browser(connection("browser"), QStringLiteral("org.rovidezir.browser.ui"), QStringLiteral("/ui"));
    RecordingService contacts(connection("contacts"), QStringLiteral("com.kestrel.contacts.ui"),
                              QStringLiteral("/com/kestrel/contacts/ui"));
    ASSERT_TRUE(email.isRegistered() && messages.isRegistered() && browser.isRegistered() && contacts.isRegistered());
    ASSERT_TRUE(TestWorld::waitFor([] {
        const QJsonObject answer = world->sim.command({{"cmd", "list"}, {"device", "/dev/vororoveredi"}}, 5000);
        return answer.value(QStringLiteral("names")).toArray().contains(QStringLiteral("novum.NativeCall"));
    }));
    const auto call = [](int code, const QJsonArray &args) {
        return world->sim.command({{"cmd", "call"}, {"service", "novum.NativeCall"},
                                   {"interface", "novum.native_call.INovumNativeCall"}, {"code", code}, {"args", args}})
            .value("status")
            .toInt(-1);
    };
    const auto url = [&](const QString &text) { return call(1, {QJsonObject{{"s16", text}}}); };
    const auto received = [](const RecordingService &app, const QString &member) {
        QStringList urls;
        for (const RecordingService::Call &c : app.calls(member))
            urls << c.arguments.value(0).toStringList().join('|');
        return urls;
    };

    // The browser never answers; the calls after it still go through at once.
    EXPECT_EQ(url(QStringLiteral("https://example.org/")), 0);
    EXPECT_EQ(url(QStringLiteral("MAILTO:caps@example.org")), 0);
    EXPECT_EQ(url(QStringLiteral("mailto:a@example.org")), 0);
    EXPECT_EQ(url(QStringLiteral("sms:+4912345")), 0);
    EXPECT_EQ(call(1, {QJsonObject{{"null_s16", true}}}), 0);   // nothing to open
    EXPECT_EQ(call(7, {}), 0);                                 // unknown: nothing
    EXPECT_EQ(call(2, {QJsonObject{{"string_list", QJsonArray{"+49 1", "+49 2"}}},
                       QJsonObject{{"string_list", QJsonArray{}}},
                       QJsonObject{{"string_list", QJsonArray{"sip:a@example.org"}}},
                       QJsonObject{{"s16", "Al"}}, QJsonObject{{"s16", "Main St 1"}}, QJsonObject{{"s16", "note"}}}),
              0);
    // A list that claims more entries than it carries is refused whole.
    EXPECT_EQ(call(2, {QJsonObject{{"i32", 1000000}}}), 0);
    EXPECT_TRUE(TestWorld::waitFor([&] { return contacts.calls().size() >= 1 && messages.calls().size() >= 1; }));
    TestWorld::waitFor([] { return false; }, 300);

    EXPECT_EQ(received(browser, "openUrl"), (QStringList{"https://example.org/", "MAILTO:caps@example.org"}));
    EXPECT_EQ(received(email, "mailto"), QStringList{"mailto:a@example.org"});
    EXPECT_EQ(received(messages, "openUrl"), QStringList{"sms:+4912345"});
    ASSERT_EQ(contacts.calls().size(), 1);
    const RecordingService::Call created = contacts.calls().first();
    EXPECT_EQ(created.member, QStringLiteral("createContact"));
    EXPECT_EQ(created.interface, QStringLiteral("com.kestrel.contacts.ui"));
    ASSERT_EQ(created.arguments.size(), 1);
    const QDBusArgument argument = created.arguments.first().value<QDBusArgument>();
    EXPECT_EQ(argument.currentSignature(), QStringLiteral("a{sav}"));
    QMap<QString, QVariantList> contact;
    argument >> contact;
    QMap<QString, QStringList> fields;
    for (auto it = contact.constBegin(); it != contact.constEnd(); ++it) {
        QStringList &values = fields[it.key()];
        for (const QVariant &v : it.value())
            values << v.toString();
    }
    const QMap<QString, QStringList> expected{{"phoneNumbers", {"+49 1", "+49 2"}},
                                              {"emailAddresses", {}},
                                              {"accountUris", {"sip:a@example.org"}},
                                              {"nickname", {"Al"}},
                                              {"postal", {"\n\n\nMain St 1\n\n"}},
                                              {"note", {"note"}}};
    EXPECT_EQ(fields.keys(), expected.keys());
    for (const QString &key : expected.keys())
        EXPECT_EQ(fields.value(key), expected.value(key)) << qPrintable(key);
}

TEST(BridgeUser, HostHalsAreForwardedAndWithdrawnWhenTheyDie)
{
    const QString power = QStringLiteral("android.hardware.power@1.0::IPower");
    const qint64 hal = world->sim.world.startProcess(QStringLiteral(FERRY_TEST_HAL_BIN),
                                                     {QStringLiteral("/dev/hwbinder"), QStringLiteral("default"), power},
                                                     {}, QStringLiteral("ready"));
    ASSERT_NE(hal, 0);
    const QString provider = QStringLiteral("android.hardware.camera.provider@2.4::ICameraProvider");
    const QString providerCallback = QStringLiteral("android.hardware.camera.provider@2.4::ICameraProviderCallback");
    const qint64 camera = world->sim.world.startProcess(
        QStringLiteral(FERRY_TEST_HAL_BIN), {QStringLiteral("/dev/hwbinder"), QStringLiteral("legacy/0"), provider},
        {QStringLiteral("FERRY_TEST_HAL_CALLBACK=") + providerCallback}, QStringLiteral("ready"));
    ASSERT_NE(camera, 0);
    ASSERT_TRUE(world->waitRegistered(power + QStringLiteral("/default")));
    EXPECT_TRUE(world->waitRegistered(provider + QStringLiteral("/legacy/0")));

    // A call from the runtime's side reaches the host's HAL and comes back.
    EXPECT_EQ(ints(world->callHal(power + QStringLiteral("/default"), power, 7, {QJsonObject{{"i32", 5}}})),
              (QJsonArray{0, 7, 5}));

    // The runtime hands the camera provider a callback: the host's HAL
    // calls it back while the call is under way, and later on its own.
    EXPECT_EQ(ints(world->callHal(provider + QStringLiteral("/legacy/0"), provider, 1,
                                  {callbackArg(providerCallback, QStringLiteral("cameraProviderCallback"))})),
              (QJsonArray{0, 1, 0}));
    EXPECT_TRUE(TestWorld::waitFor([] { return world->sim.received(QStringLiteral("cameraProviderCallback")).size() >= 2; }));
    QStringList callbacks;
    for (const QJsonObject &line : world->sim.received(QStringLiteral("cameraProviderCallback")))
        callbacks << QString::number(line.value("code").toInt()) + ':' + line.value("hex").toString();
    EXPECT_EQ(callbacks, (QStringList{"1:64000000", "1:c8000000"}));

    ASSERT_TRUE(world->sim.world.stopProcess(hal));
    EXPECT_TRUE(TestWorld::waitFor([&] { return !world->isRegistered(power + QStringLiteral("/default")); }));
    world->sim.world.stopProcess(camera);
}

// Without the runtime's HAL device the HALs register with the host's own
// HAL service manager, and the proxies, which need both devices, forward
// nothing. The bridge sees a /dev of its own, so the rest of this guest
// keeps the device. SIGINT stops it as orderly as SIGTERM.
TEST(BridgeUser, WithoutTheRuntimesHalDeviceTheHalsRegisterOnTheHostsOne)
{
    const QString dev = world->sim.world.tempDir() + QStringLiteral("/dev");
    const QString script = QStringLiteral("set -e; mkdir -p '%1'; mount -t tmpfs tmpfs '%1'; "
                                          "for d in null zero full random urandom hwbinder; do "
                                          "touch '%1'/$d; mount --bind /dev/$d '%1'/$d; done; "
                                          "mount --rbind '%1' /dev; exec '%2'")
                               .arg(dev, QStringLiteral(FERRY_BRIDGE_USER_BIN));
    const QString own = world->sim.world.tempDir() + QStringLiteral("/own-");
    const qint64 pid = world->sim.world.startProcess(
        QStringLiteral("unshare"), {"-m", "--propagation", "private", "/bin/sh", "-c", script},
        {QStringLiteral("QT_PLUGIN_PATH=" FERRY_TEST_PLUGIN_DIR), "FERRY_TEST_POSITION_SOCKET=" + own + "position.sock",
         "FERRY_TEST_POSITION_LOG=" + own + "position.log", "FERRY_TEST_FEEDBACK_LOG=" + own + "feedback.log"});
    ASSERT_NE(pid, 0);
    auto host = ferry::binder::ServiceManager::get("/dev/hwbinder", ferry::binder::Protocol::Hidl);
    ASSERT_TRUE(host);
    for (const char *name : {"android.hardware.gnss@2.1::IGnss/default_novum",
                             "android.hardware.vibrator@1.0::IVibrator/default_novum"}) {
        EXPECT_TRUE(TestWorld::waitFor([&] {
            const std::vector<std::string> names = host->listSync();
            return std::find(names.begin(), names.end(), name) != names.end();
        }, 20000)) << name;
    }
    EXPECT_TRUE(world->sim.world.isProcessRunning(pid));

    ASSERT_TRUE(world->sim.world.signalProcess(pid, SIGINT));
    ASSERT_TRUE(TestWorld::waitFor([&] { return !world->sim.world.isProcessRunning(pid); }, 10000));
    const int status = world->sim.world.processExitStatus(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

QJsonObject op(const QString &name, const QJsonObject &fields = {})
{
    QJsonObject step = fields;
    step.insert(QStringLiteral("op"), name);
    return step;
}

int result(const QJsonValue &stepResult)
{
    return stepResult.toObject().value(QStringLiteral("reply")).toInt(999);
}

QJsonArray events(const QJsonValue &pollResult)
{
    return pollResult.toObject().value(QStringLiteral("events")).toArray();
}

QJsonObject accel(double x)
{
    return {{"type", "QAccelerometer"}, {"x", x}, {"y", 0.5}, {"z", 9.75}};
}

const QString kSensors = QStringLiteral("android.hardware.sensors@1.0::ISensors/default_novum");

TEST(BridgeUser, SensorsListInAndroidTermsAndRefuseWhatTheyCannotDo)
{
    ASSERT_TRUE(world->waitRegistered(kSensors));
    const QJsonArray r = world->sensors({op("list"), op("mode", {{"mode", 0}}), op("mode", {{"mode", 1}}),
                                         op("raw", {{"code", 7}}), op("raw", {{"code", 11}}),
                                         op("activate", {{"handle", 3}}), op("batch", {{"handle", 3}}),
                                         op("batch", {{"handle", 1}, {"periodNs", 0}}), op("poll", {{"maxCount", -1}}),
                                         op("poll", {{"maxCount", 0}})});
    ASSERT_EQ(r.size(), 10);
    const QJsonObject list = r[0].toObject();
    EXPECT_FALSE(list.contains("error")) << list.value("error").toString().toStdString();
    const QJsonArray sensors = list.value("sensors").toArray();
    QStringList seen;
    for (const QJsonValue &v : sensors) {
        const QJsonObject s = v.toObject();
        seen << QString::number(s.value("handle").toInt()) + ':' + s.value("name").toString();
        EXPECT_EQ(s.value("vendor").toString(), QStringLiteral("Kestrel"));
        EXPECT_EQ(s.value("typeAsString"), s.value("name"));
    }
    EXPECT_EQ(seen, (QStringList{"1:accelerometer", "2:magnetometer", "4:gyroscope", "5:light", "6:pressure",
                                 "8:proximity", "27:device orientation"}));
    ASSERT_EQ(sensors.size(), 7);
    EXPECT_FLOAT_EQ(float(sensors[0].toObject().value("maxRange").toDouble()), 39.2266f);
    EXPECT_EQ(sensors[0].toObject().value("minDelay").toInt(), 1000);
    EXPECT_FLOAT_EQ(float(sensors[1].toObject().value("maxRange").toDouble()), 4900.0f);   // microtesla
    EXPECT_EQ(sensors[5].toObject().value("flags").toInt(), 3);
    EXPECT_EQ(sensors[6].toObject().value("maxRange").toDouble(), 3.0);

    EXPECT_EQ(result(r[1]), 0);
    EXPECT_EQ(result(r[2]), -22);
    EXPECT_EQ(r[3].toObject().value("ints").toArray(), (QJsonArray{0, -38, -1}));   // direct channels and injection
    EXPECT_NE(r[4].toObject().value("status").toInt(), 0);                           // unknown code: no reply
    for (int i : {5, 6, 7, 8, 9})   // missing sensor, period 0, negative or zero count: at once
        EXPECT_EQ(result(r[i]), -22) << i;
}

TEST(BridgeUser, SensorEventsQueueUntilPolledAndGoWithTheirSensor)
{
    ASSERT_TRUE(world->waitRegistered(kSensors));
    const int before = world->sensorRequests().size();
    QJsonArray r = world->sensors({op("batch", {{"handle", 1}, {"periodNs", 20000000}}), op("activate", {{"handle", 1}})});
    EXPECT_EQ(result(r[0]), 0);
    EXPECT_EQ(result(r[1]), 0);
    for (double x : {1.0, 2.0, 3.0})
        ASSERT_EQ(world->sensor(accel(x)), 1);
    // Poll for 10 with 3 queued: the 3, oldest first. A flush of an
    // inactive sensor queues nothing; of an active one, its meta event.
    r = world->sensors({op("poll", {{"maxCount", 10}}), op("flush", {{"handle", 4}}), op("flush", {{"handle", 1}}),
                        op("poll", {{"maxCount", 10}})});
    EXPECT_EQ(result(r[0]), 0);
    const QJsonArray got = events(r[0]);
    ASSERT_EQ(got.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject e = got[i].toObject();
        EXPECT_EQ(e.value("handle").toInt(), 1);
        EXPECT_EQ(e.value("values").toArray(), (QJsonArray{i + 1.0, 0.5, 9.75}));
        EXPECT_EQ(e.value("status").toInt(), 2);
        EXPECT_GT(e.value("timestamp").toDouble(), 0);
    }
    EXPECT_EQ(result(r[1]), -22);
    EXPECT_EQ(result(r[2]), 0);
    ASSERT_EQ(events(r[3]).size(), 1);
    EXPECT_EQ(events(r[3])[0].toObject(), (QJsonObject{{"timestamp", 0}, {"handle", 1}, {"type", 0}, {"meta", 1}}));

    // Deactivating drops what is queued; a new rate restarts an active sensor.
    ASSERT_EQ(world->sensor(accel(4)), 1);
    ASSERT_EQ(world->sensor(accel(5)), 1);
    r = world->sensors({op("activate", {{"handle", 1}, {"enabled", false}}), op("activate", {{"handle", 1}}),
                        op("batch", {{"handle", 1}, {"periodNs", 10000000}})});
    ASSERT_EQ(world->sensor(accel(6)), 1);
    r = world->sensors({op("poll", {{"maxCount", 10}}), op("activate", {{"handle", 1}, {"enabled", false}})});
    ASSERT_EQ(events(r[0]).size(), 1);
    EXPECT_EQ(events(r[0])[0].toObject().value("values").toArray()[0].toDouble(), 6.0);
    EXPECT_EQ(world->sensorRequests().mid(before),
              (QStringList{"QAccelerometer:start:50", "QAccelerometer:stop", "QAccelerometer:start:50",
                           "QAccelerometer:stop", "QAccelerometer:start:100", "QAccelerometer:stop"}));

    // A sensor whose backend cannot start is refused.
    ASSERT_EQ(world->sensor({{"failStart", "QGyroscope"}}), 0);
    EXPECT_EQ(result(world->sensors({op("activate", {{"handle", 4}})})[0]), -22);
}

TEST(BridgeUser, HeldPollsWaitForTheNextEventAndGiveWayToANewPoll)
{
    ASSERT_TRUE(world->waitRegistered(kSensors));
    ASSERT_EQ(result(world->sensors({op("activate", {{"handle", 5}})})[0]), 0);
    const QJsonObject light{{"type", "QLightSensor"}, {"lux", 250}};

    // Each poll is sent only once the one before is on its way (and a
    // moment more, to be held).
    const auto sendPoll = [] {
        const int sent = world->pollsSent();
        std::unique_ptr<QLocalSocket> socket = world->sensorsAsync({op("poll", {{"maxCount", 5}})});
        TestWorld::waitFor([&] { return world->pollsSent() > sent; }, 10000);
        TestWorld::waitFor([] { return false; }, 300);
        return socket;
    };
    std::unique_ptr<QLocalSocket> first = sendPoll();
    ASSERT_FALSE(BridgeUserWorld::hasAnswer(first.get()));   // held: nothing queued
    // A second poll answers the held one, empty-handed, and waits itself.
    std::unique_ptr<QLocalSocket> second = sendPoll();
    QJsonArray r = BridgeUserWorld::sensorsResults(first.get());
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(result(r[0]), -22);
    EXPECT_TRUE(events(r[0]).isEmpty());
    ASSERT_FALSE(BridgeUserWorld::hasAnswer(second.get()));
    ASSERT_EQ(world->sensor(light), 1);
    r = BridgeUserWorld::sensorsResults(second.get());
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(result(r[0]), 0);
    ASSERT_EQ(events(r[0]).size(), 1);
    EXPECT_EQ(events(r[0])[0].toObject().value("values").toArray(), (QJsonArray{250}));
    world->sensors({op("activate", {{"handle", 5}, {"enabled", false}})});
}

TEST(BridgeUser, DeviceOrientationFollowsTheOrientationLock)
{
    ASSERT_TRUE(world->waitRegistered(kSensors));
    const auto orientation = [](int qt) { return QJsonObject{{"type", "QOrientationSensor"}, {"orientation", qt}}; };
    const auto values = [](const QJsonArray &polled) {
        QJsonArray list;
        for (const QJsonValue &e : events(polled[0]))
            list.append(e.toObject().value("type").toInt() == 27 ? e.toObject().value("values").toArray()[0]
                                                                : QJsonValue(QStringLiteral("meta")));
        return list;
    };
    // No lock set: the orientation follows the readings.
    ASSERT_EQ(result(world->sensors({op("activate", {{"handle", 27}})})[0]), 0);
    ASSERT_EQ(world->sensor(orientation(3)), 1);   // LeftUp
    ASSERT_EQ(world->sensor(orientation(5)), 1);   // FaceUp: nothing for Android
    EXPECT_EQ(values(world->sensors({op("poll", {{"maxCount", 10}})})), (QJsonArray{3}));

    // Locking queues the locked orientation once; readings while locked
    // queue nothing.
    ASSERT_TRUE(BridgeUserWorld::setOrientationLock(QStringLiteral("landscape")));
    QJsonArray polled;
    ASSERT_TRUE(TestWorld::waitFor([&] {
        polled = world->sensors({op("flush", {{"handle", 27}}), op("poll", {{"maxCount", 10}})});
        return events(polled[1]).size() > 1;
    }, 5000));
    EXPECT_EQ(values({polled[1]}), (QJsonArray{1, "meta"}));
    ASSERT_EQ(world->sensor(orientation(2)), 1);   // TopDown, ignored while locked
    polled = world->sensors({op("flush", {{"handle", 27}}), op("poll", {{"maxCount", 10}})});
    EXPECT_EQ(values({polled[1]}), (QJsonArray{"meta"}));

    // Unlocking follows the current reading again.
    ASSERT_TRUE(BridgeUserWorld::setOrientationLock(QStringLiteral("dynamic")));
    ASSERT_TRUE(TestWorld::waitFor([&] {
        polled = world->sensors({op("flush", {{"handle", 27}}), op("poll", {{"maxCount", 10}})});
        return events(polled[1]).size() > 1;
    }, 5000));
    EXPECT_EQ(values({polled[1]}), (QJsonArray{2, "meta"}));
    world->sensors({op("activate", {{"handle", 27}, {"enabled", false}})});
}

TEST(BridgeUser, StopsInOrderOnSigterm)
{
    // A poll still held when the bridge stops is answered, not failed.
    const int sent = world->pollsSent();
    std::unique_ptr<QLocalSocket> held = world->sensorsAsync({op("poll", {{"maxCount", 4}})});
    TestWorld::waitFor([&] { return world->pollsSent() > sent; }, 10000);
    TestWorld::waitFor([] { return false; }, 300);
    const qint64 pid = world->bridgePid();
    ASSERT_TRUE(world->sim.world.signalProcess(pid, SIGTERM));
    ASSERT_TRUE(TestWorld::waitFor([&] { return !world->sim.world.isProcessRunning(pid); }, 10000));
    const int status = world->sim.world.processExitStatus(pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const QJsonArray r = BridgeUserWorld::sensorsResults(held.get());
    ASSERT_EQ(r.size(), 1);
    EXPECT_EQ(r[0].toObject().value("status").toInt(-1), 0);
    EXPECT_EQ(result(r[0]), -22);
}

} // namespace
