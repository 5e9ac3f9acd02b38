// The Wi-Fi HAL, supplicant and wificond services of ferryd-bridge-user,
// called by the simulated runtime's Wi-Fi stack as Android calls them.
// The services run in this process, so that their callback slots can be
// looked at and wificond can be made to answer as each SDK level would.
#include "connmanstandinclient.h"
#include "logcapture.h"
#include "novumbindercallbackclient.h"
#include "simworld.h"
#include "wifi/supplicantservice.h"
#include "wifi/wificondservice.h"
#include "wifi/wifiservice.h"

#include <QDBusConnection>
#include <QFile>
#include <QPointer>

#include <functional>

#include <gtest/gtest.h>

namespace {

SimWorld *world = nullptr;
WifiService *wifiService = nullptr;
SupplicantService *supplicant = nullptr;
ConnmanStandinClient *connman = nullptr;

const char kWifiName[] = "android.hardware.wifi@1.0::IWifi/default_novum";
const char kSupplicantName[] = "android.hardware.wifi.supplicant@1.0::ISupplicant/default_novum";

bool isRegistered(const QString &name, const QString &device)
{
    const QJsonObject answer = world->command({{"cmd", "list"}, {"device", device}}, 5000);
    return answer.value(QStringLiteral("names")).toArray().contains(name);
}

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new SimWorld;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        world->setStartServices(QStringLiteral("none"));
        ASSERT_TRUE(world->bringUp());
        // The host's connection manager, with no network to begin with.
        ASSERT_NE(world->world.startProcess(QStringLiteral(FERRY_CONNMAN_STANDIN_BIN), {}, {}, QStringLiteral("ready")), 0);
        connman = new ConnmanStandinClient(QDBusConnection::systemBus());
        supplicant = new SupplicantService(QStringLiteral("/dev/hwvororoveredi"), nullptr);
        wifiService = new WifiService(QStringLiteral("/dev/hwvororoveredi"), nullptr);
        ASSERT_TRUE(TestWorld::waitFor([] { return isRegistered(kWifiName, "/dev/hwvororoveredi")
                                                   && isRegistered(kSupplicantName, "/dev/hwvororoveredi"); }, 10000));
    }
    void TearDown() override
    {
        delete wifiService;
        delete supplicant;
        delete connman;
        world->stop();
        delete world;
        world = nullptr;
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

QJsonArray run(const QJsonArray &steps, bool child = false)
{
    return world->command({{"cmd", "wifi"}, {"steps", steps}, {"child", child}}, 20000)
        .value(QStringLiteral("results")).toArray();
}

QJsonObject runOne(const QJsonObject &step)
{
    return run({step}).at(0).toObject();
}

QJsonObject callStep(const QString &target, const QString &interface, int code, const QJsonArray &reply,
                     const QJsonArray &args = {})
{
    QJsonObject step{{"target", target}, {"code", code}, {"reply", reply}, {"args", args}};
    if (!interface.isEmpty())
        step.insert(QStringLiteral("interface"), interface);
    return step;
}

QJsonObject callback(const QString &interface, const QString &name)
{
    return {{"binder", QJsonObject{{"interface", interface}, {"name", name}}}};
}

int halCode(const QJsonObject &result)
{
    return result.value("values").toArray().at(0).toObject().value("code").toInt(-1);
}

TEST(WifiHal, AndroidBringsUpAStationInterface)
{
    const QJsonObject start = runOne({{"op", "hal-start"}});
    ASSERT_TRUE(start.value("ok").toBool()) << QJsonDocument(start).toJson().constData();
    const QJsonArray calls = start.value("calls").toArray();
    for (const QJsonValue &c : calls) {
        EXPECT_EQ(halCode(c.toObject()), 0) << c.toObject().value("code").toInt();
        EXPECT_EQ(c.toObject().value("rest").toInt(), 0) << "trailing bytes after code " << c.toObject().value("code").toInt();
    }
    EXPECT_EQ(calls[2].toObject().value("values").toArray()[1], (QJsonArray{0}));
    // One mode, one combination, one limit: a single station interface.
    const QJsonArray expectedModes{QJsonObject{
        {"id", 0},
        {"combinations", QJsonArray{QJsonObject{{"limits", QJsonArray{QJsonObject{{"types", QJsonArray{0}}, {"maxIfaces", 1}}}}}}}}};
    EXPECT_EQ(calls[5].toObject().value("values").toArray()[1].toArray(), expectedModes);
    EXPECT_EQ(calls[7].toObject().value("values").toArray()[1].toString(), QStringLiteral("wlan0"));
    for (int kind = 0; kind < WifiService::CallbackKindCount; ++kind)
        EXPECT_NE(wifiService->callback(WifiService::CallbackKind(kind)), nullptr) << kind;
}

// One or two rows of each kind of answer, through each object.
TEST(WifiHal, AnswersEachKindOfRequest)
{
    ASSERT_TRUE(runOne({{"op", "hal-start"}}).value("ok").toBool());
    ASSERT_TRUE(runOne({{"op", "supplicant-start"}}).value("ok").toBool());
    ASSERT_TRUE(runOne({{"op", "connect"}}).value("ok").toBool());
    const QString iface = QStringLiteral("android.hardware.wifi@1.0::IWifiIface");
    const QString supIface = QStringLiteral("android.hardware.wifi.supplicant@1.0::ISupplicantIface");
    const QString supNetwork = QStringLiteral("android.hardware.wifi.supplicant@1.0::ISupplicantNetwork");
    enum Outcome { Reply, Fails };
    const struct {
        const char *target;
        QString interface;
        int code;
        QJsonArray reply;
        Outcome outcome;
        int status;        // WifiStatus code, -1: none in the reply
        QJsonValue value;  // the value after it; null: none
        bool logged;
    } rows[] = {
        {"wifi", {}, 2, {"bool"}, Reply, -1, true, false},
        {"wifi", {}, 7, {}, Fails, -1, {}, false},
        {"chip", {}, 3, {"status", "u32"}, Reply, 0, 0, false},
        {"chip", {}, 1, {"status"}, Reply, 4, {}, true},
        {"chip", {}, 7, {"status", "debuginfo"}, Reply, 0, QJsonArray{"", ""}, false},
        {"chip", {}, 23, {"status", "vec32"}, Reply, 0, QJsonArray{}, false},
        {"chip", {}, 12, {"status", "object"}, Reply, 0, "null", false},
        {"chip", {}, 24, {"status", "object"}, Reply, 0, "object", false},
        {"chip", {}, 31, {"status"}, Reply, 4, {}, false},
        {"chip", {}, 17, {}, Fails, -1, {}, true},
        {"chip", {}, 33, {}, Fails, -1, {}, false},
        {"sta", iface, 2, {"status", "string"}, Reply, 0, "wlan0", false},
        {"sta", {}, 4, {"status", "u32"}, Reply, 0, 128, false},
        {"sta", {}, 7, {"status", "record16"}, Reply, 4, QJsonObject{{"zero", true}}, false},
        {"sta", {}, 8, {"status", "vec32"}, Reply, 4, QJsonArray{}, false},
        {"sta", {}, 13, {"status", "linkstats"}, Reply, 0, QJsonObject{{"zero", true}, {"radios", 0}}, false},
        {"sta", {}, 9, {"status"}, Reply, 4, {}, true},
        {"sta", iface, 26, {}, Fails, -1, {}, false},
        {"rtt", {}, 3, {"status"}, Reply, 4, {}, true},
        {"rtt", {}, 11, {}, Fails, -1, {}, false},
        {"supplicant", {}, 2, {"status", "ifaceinfos"}, Reply, 0, QJsonArray{QJsonObject{{"type", 0}, {"name", "wlan0"}}}, false},
        {"supplicant", {}, 5, {"status"}, Reply, 1, {}, true},
        {"supplicant", {}, 9, {}, Fails, -1, {}, false},
        {"staIface", supIface, 1, {"status", "string"}, Reply, 0, "wlan0", false},
        {"staIface", {}, 6, {"status", "vec32"}, Reply, 0, QJsonArray{0}, false},
        {"staIface", {}, 15, {"status"}, Reply, 0, {}, false},
        {"staIface", {}, 35, {"status"}, Reply, 1, {}, true},
        {"staIface", {}, 42, {}, Fails, -1, {}, false},
        {"network", supNetwork, 2, {"status"}, Reply, 1, {}, true},
        {"network", {}, 10, {"status"}, Reply, 0, {}, false},
        {"network", {}, 50, {"status"}, Reply, 1, {}, true},
        {"network", {}, 73, {}, Fails, -1, {}, false},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(QLatin1String(row.target)).arg(row.code).toStdString());
        LogCapture log;
        const QJsonObject r = runOne(callStep(QLatin1String(row.target), row.interface, row.code, row.reply));
        if (row.outcome == Fails) {
            EXPECT_NE(r.value("status").toInt(), 0);
            EXPECT_FALSE(r.contains("values"));
        } else {
            ASSERT_EQ(r.value("status").toInt(-1), 0);
            EXPECT_FALSE(r.contains("error")) << qPrintable(r.value("error").toString());
            EXPECT_EQ(r.value("rest").toInt(), 0);
            const QJsonArray values = r.value("values").toArray();
            if (row.status >= 0) {
                EXPECT_EQ(halCode(r), row.status);
            }
            if (!row.value.isNull()) {
                EXPECT_EQ(values.last(), row.value);
            }
        }
        EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Unexpected transaction code:")), row.logged ? 1 : 0);
    }
}

TEST(WifiHal, CallbacksAreReplacedAndClearedWhenTheirOwnerDies)
{
    const QString chipEvents = QStringLiteral("android.hardware.wifi@1.0::IWifiChipEventCallback");
    ASSERT_TRUE(runOne({{"op", "hal-start"}}).value("ok").toBool());
    QPointer<NovumBinderCallbackClient> first = wifiService->callback(WifiService::ChipEvents);
    ASSERT_TRUE(first);
    EXPECT_EQ(halCode(runOne(callStep("chip", {}, 2, {"status"}, {callback(chipEvents, "chip-events-2")}))), 0);
    EXPECT_FALSE(first) << "the earlier client is deleted";
    ASSERT_NE(wifiService->callback(WifiService::ChipEvents), nullptr);

    // A callback of a process that ends: its slot empties.
    const QJsonArray steps{
        callStep("wifi", {}, 6, {"status", "object"}),
        callStep("wifi", {}, 1, {"status"}, {callback("android.hardware.wifi@1.0::IWifiEventCallback", "short-lived")}),
    };
    EXPECT_EQ(halCode(run(steps, true).at(1).toObject()), 0);
    EXPECT_TRUE(TestWorld::waitFor([] { return wifiService->callback(WifiService::WifiEvents) == nullptr; }, 5000));
    EXPECT_NE(wifiService->callback(WifiService::ChipEvents), nullptr);

    // The same for the supplicant's station interface callback.
    ASSERT_TRUE(runOne({{"op", "supplicant-start"}}).value("ok").toBool());
    QPointer<NovumBinderCallbackClient> station = supplicant->staIfaceCallback();
    ASSERT_TRUE(station);
    EXPECT_TRUE(run(QJsonArray{QJsonObject{{"op", "supplicant-start"}, {"callback", "short-lived-station"}}}, true).at(0).toObject().value("ok").toBool());
    EXPECT_FALSE(station);
    EXPECT_TRUE(TestWorld::waitFor([] { return supplicant->staIfaceCallback() == nullptr; }, 5000));
}

TEST(WifiHal, MalformedRequestsAreRefusedOrAnsweredSafely)
{
    // No object where the callback belongs: refused, nothing stored.
    ASSERT_TRUE(runOne({{"op", "hal-start"}}).value("ok").toBool());
    QPointer<NovumBinderCallbackClient> before = wifiService->callback(WifiService::StaIfaceEvents);
    EXPECT_NE(runOne(callStep("sta", {}, 3, {"status"})).value("status").toInt(), 0);
    EXPECT_TRUE(before);
    EXPECT_EQ(wifiService->callback(WifiService::StaIfaceEvents), before.data());
    // A null object lets go of the callback.
    EXPECT_EQ(halCode(runOne(callStep("sta", {}, 3, {"status"}, {QJsonObject{{"binder", QJsonValue()}}}))), 0);
    EXPECT_EQ(wifiService->callback(WifiService::StaIfaceEvents), nullptr);
    // getChip without its id still has the one chip.
    EXPECT_EQ(runOne(callStep("wifi", {}, 6, {"status", "object"})).value("values").toArray().at(1), QJsonValue("object"));
    EXPECT_NE(runOne(callStep("supplicant", {}, 3, {"status"})).value("status").toInt(), 0);
    // A descriptor the object does not implement is refused.
    EXPECT_NE(runOne(callStep("chip", QStringLiteral("android.hardware.wifi@1.0::IWifiIface"), 2, {})).value("status").toInt(), 0);
}

// The station interface callback's last onStateChanged as
// "state bssid networkId ssid".
QString lastState(const QString &callbackName)
{
    const QList<QJsonObject> lines = world->received(callbackName);
    if (lines.isEmpty())
        return QString();
    const QJsonObject l = lines.last();
    return QStringLiteral("%1 %2 %3 %4").arg(l.value("state").toInt()).arg(l.value("bssid").toString())
        .arg(l.value("networkId").toInt()).arg(l.value("ssid").toString());
}

// Selects until the callback reports |expected| (the supplicant's view of
// the host's network follows connman's signals).
bool selectUntil(const QString &callbackName, const QString &expected)
{
    return TestWorld::waitFor([&] {
        runOne({{"op", "select"}});
        return lastState(callbackName) == expected;
    }, 5000);
}

TEST(Supplicant, NetworkSelectReportsTheHostsWifiNetwork)
{
    const QString cb = QStringLiteral("station-states");
    ASSERT_TRUE(connman->reset());
    const QJsonObject start = runOne({{"op", "supplicant-start"}, {"callback", cb}});
    ASSERT_TRUE(start.value("ok").toBool());
    // The MAC address of the host's WLAN interface, or zeros without one.
    QFile sysfs(QStringLiteral("/sys/class/net/wlan0/address"));
    const QString mac = sysfs.open(QIODevice::ReadOnly) ? QString::fromLatin1(sysfs.readAll().trimmed()).toLower()
                                                        : QStringLiteral("00:00:00:00:00:00");
    EXPECT_EQ(start.value("calls").toArray().at(3).toObject().value("values").toArray().at(1).toString(), mac);

    // Nothing reported yet, and the host is not on Wi-Fi.
    ASSERT_TRUE(runOne({{"op", "connect"}, {"ssid", "AndroidAP"}}).value("ok").toBool());
    EXPECT_TRUE(TestWorld::waitFor([&] { return !lastState(cb).isEmpty(); }, 5000));
    EXPECT_EQ(lastState(cb), QStringLiteral("1 00:00:00:00:00:00 0 "));

    // Online: completed, with the host's address and network name.
    ASSERT_TRUE(connman->addService(QStringLiteral("wifi_home"), ConnmanStandinClient::wifi("Home Net", "online")));
    EXPECT_TRUE(selectUntil(cb, QStringLiteral("9 02:00:00:ab:cd:ef 0 Home Net"))) << qPrintable(lastState(cb));
    // Connected but not online is not reported as connected.
    ASSERT_TRUE(connman->setProperty(QStringLiteral("wifi_home"), QStringLiteral("State"), QStringLiteral("ready")));
    EXPECT_TRUE(selectUntil(cb, QStringLiteral("1 02:00:00:ab:cd:ef 0 Home Net"))) << qPrintable(lastState(cb));
    // Gone: the last values, disconnected.
    ASSERT_TRUE(connman->removeService(QStringLiteral("wifi_home")));
    EXPECT_TRUE(selectUntil(cb, QStringLiteral("1 02:00:00:ab:cd:ef 0 Home Net"))) << qPrintable(lastState(cb));

    // Once the callback is dropped a select only logs, until Android
    // registers a new one.
    supplicant->unregisterStaIfaceCallback();
    {
        LogCapture log;
        EXPECT_EQ(halCode(runOne({{"op", "select"}}).value("calls").toArray().at(0).toObject()), 0);
        EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("mSupplicantStaIfaceCallback is null")), 1);
    }
    // One-way reports of earlier selects may still be on their way.
    TestWorld::waitFor([] { return false; }, 300);
    const int seen = world->received(cb).size();
    ASSERT_TRUE(runOne({{"op", "supplicant-start"}, {"callback", cb}}).value("ok").toBool());
    runOne({{"op", "select"}});
    EXPECT_TRUE(TestWorld::waitFor([&] { return world->received(cb).size() == seen + 1; }, 5000));
}

// wificond answers as Android 9 and 10 expect, and not at all to others.
TEST(Wificond, AnswersPerSdkLevel)
{
    ASSERT_TRUE(connman->reset());
    ASSERT_TRUE(connman->addService(QStringLiteral("wifi_cafe"), ConnmanStandinClient::wifi("Cafe", "online")));
    enum Outcome { Reply, Fails, Logged };
    const struct {
        const char *target;
        int code;
        QJsonArray reply;
        Outcome at28, at29;
        QJsonValue value28, value29;
    } rows[] = {
        {"wificond", 1, {"object"}, Reply, Reply, "null", "null"},
        {"wificond", 4, {"abool"}, Reply, Reply, true, true},
        {"wificond", 5, {}, Reply, Reply, {}, {}},
        {"wificond", 9, {"ints"}, Reply, Reply, QJsonArray{}, QJsonArray{}},
        {"wificond", 6, {}, Logged, Logged, {}, {}},
        {"wificond", 11, {"abool"}, Reply, Logged, true, {}},
        {"wificond", 13, {}, Logged, Fails, {}, {}},
        {"wificond", 15, {}, Fails, Fails, {}, {}},
        {"clientInterface", 2, {"ints"}, Reply, Reply, QJsonArray{-65, 72, 5180}, QJsonArray{-65, 72, 5180, 72}},
        {"clientInterface", 3, {}, Logged, Logged, {}, {}},
        {"scanner", 1, {"ints"}, Reply, Reply, QJsonArray{}, QJsonArray{}},
        {"scanner", 8, {"abool"}, Reply, Reply, false, false},
        {"scanner", 10, {}, Reply, Reply, {}, {}},
    };
    for (int sdk : {27, 28, 29}) {
        SCOPED_TRACE(sdk);
        WifiCondService wificond(QStringLiteral("/dev/vororoveredi"), sdk, nullptr);
        ASSERT_TRUE(wificond.isRegistered());
        LogCapture log;
        const QJsonObject start = runOne({{"op", "wificond-start"}});
        if (sdk == 27) {
            // Not even the client interface: every request fails.
            EXPECT_FALSE(start.value("ok").toBool());
            EXPECT_NE(start.value("calls").toArray().at(0).toObject().value("status").toInt(), 0);
            EXPECT_GE(log.count(QtCriticalMsg, QStringLiteral("Unknown interface on wificond processRequest")), 1);
            continue;
        }
        ASSERT_TRUE(start.value("ok").toBool());
        // The service's view of the host's network follows connman's signals.
        EXPECT_TRUE(TestWorld::waitFor([] {
            return runOne(callStep("clientInterface", {}, 2, {"ints"})).value("values").toArray().at(0).toArray().at(0).toInt() == -65;
        }, 5000));
        for (const auto &row : rows) {
            SCOPED_TRACE(QStringLiteral("%1 %2").arg(QLatin1String(row.target)).arg(row.code).toStdString());
            log.clear();
            const Outcome outcome = sdk == 28 ? row.at28 : row.at29;
            const QJsonValue value = sdk == 28 ? row.value28 : row.value29;
            const QJsonObject r = runOne(callStep(QLatin1String(row.target), {}, row.code, row.reply));
            if (outcome != Reply) {
                EXPECT_NE(r.value("status").toInt(), 0);
            } else {
                ASSERT_EQ(r.value("status").toInt(-1), 0);
                EXPECT_EQ(r.value("word").toInt(-1), 0);
                EXPECT_EQ(r.value("rest").toInt(-1), 0);
                if (!value.isNull()) {
                    EXPECT_EQ(r.value("values").toArray().at(0), value);
                }
            }
            EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Unexpected transaction code:")), outcome == Logged ? 1 : 0);
        }
    }
    // Without a connected network the poll is all zeros.
    WifiCondService wificond(QStringLiteral("/dev/vororoveredi"), 28, nullptr);
    ASSERT_TRUE(connman->removeService(QStringLiteral("wifi_cafe")));
    ASSERT_TRUE(runOne({{"op", "wificond-start"}}).value("ok").toBool());
    EXPECT_TRUE(TestWorld::waitFor([] {
        return runOne({{"op", "signal-poll"}}).value("calls").toArray().at(0).toObject().value("values").toArray().at(0)
            == QJsonArray{0, 0, 0};
    }, 5000));
}

} // namespace
