// The Wi-Fi HAL, supplicant and wificond services of ferryd-bridge-user,
// called by the simulated runtime's Wi-Fi stack as Android calls them.
// The services run in this process, so that their callback slots can be
// looked at and wificond can be made to answer as each SDK level would.
#include "logcapture.h"
#include "novumbindercallbackclient.h"
#include "simworld.h"
#include "wifi/wifiservice.h"

#include <QPointer>

#include <gtest/gtest.h>

namespace {

SimWorld *world = nullptr;
WifiService *wifiService = nullptr;

const char kWifiName[] = "android.hardware.wifi@1.0::IWifi/default_novum";

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
        wifiService = new WifiService(QStringLiteral("/dev/hwvororoveredi"), nullptr);
        ASSERT_TRUE(TestWorld::waitFor([] { return isRegistered(kWifiName, "/dev/hwvororoveredi"); }, 10000));
    }
    void TearDown() override
    {
        delete wifiService;
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
    const QString iface = QStringLiteral("android.hardware.wifi@1.0::IWifiIface");
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
            if (row.status >= 0)
                EXPECT_EQ(halCode(r), row.status);
            if (!row.value.isNull())
                EXPECT_EQ(values.last(), row.value);
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
    // A descriptor the object does not implement is refused.
    EXPECT_NE(runOne(callStep("chip", QStringLiteral("android.hardware.wifi@1.0::IWifiIface"), 2, {})).value("status").toInt(), 0);
}

} // namespace
