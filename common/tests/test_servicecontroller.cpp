#include "servicecontroller.h"

#include "logcapture.h"
#include "testworld.h"

#include <QJsonArray>
#include <QMetaMethod>

#include <gtest/gtest.h>

// One controller per process: these tests share it and the world around
// it, and run in order. The stand-in runs no command here, so the unit
// moves to "active" or "inactive" on its own right after a start or stop.

namespace {

const QString kUnit = QStringLiteral("rididirevov.service");

TestWorld *world = nullptr;

class ServiceControllerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new TestWorld;
        TestWorld::Options options;
        options.systemdArguments << QStringLiteral("--unit-file-state=enabled");
        if (!world->start(options))
            qFatal("Cannot start the test world: %s", qPrintable(world->errorString()));
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
    }

    void SetUp() override
    {
        ctl = ServiceController::instance();
        QObject::connect(ctl, &ServiceController::serviceStateChanged, &receiver,
                         [this] { states << ctl->serviceState(); });
        QObject::connect(ctl, &ServiceController::serviceEnabledChanged, &receiver,
                         [this] { enabledChanges << ctl->serviceEnabled(); });
    }

    // Puts the unit into state as systemd would announce it and waits until
    // the controller has it.
    void force(const QString &state)
    {
        // A change to the state it already has would arrive unnoticed, and
        // late.
        if (ctl->serviceState() == state) {
            ASSERT_TRUE(world->setUnitProperties({{QStringLiteral("ActiveState"), QStringLiteral("reloading")}}));
            ASSERT_TRUE(TestWorld::waitFor([&] { return ctl->serviceState() == QLatin1String("reloading"); }));
        }
        ASSERT_TRUE(world->setUnitProperties({{QStringLiteral("ActiveState"), state}}));
        ASSERT_TRUE(TestWorld::waitFor([&] { return ctl->serviceState() == state; }));
        states.clear();
    }

    ServiceController *ctl = nullptr;
    QObject receiver;
    QStringList states;
    QList<bool> enabledChanges;
};

} // namespace

TEST_F(ServiceControllerTest, ConstructionTalksToSystemdOnce)
{
    EXPECT_EQ(ServiceController::instance(), ctl);
    EXPECT_EQ(ctl->serviceState(), QStringLiteral("inactive"));
    EXPECT_TRUE(ctl->serviceEnabled());
    EXPECT_EQ(ctl->property("serviceState").toString(), QStringLiteral("inactive"));
    EXPECT_EQ(ctl->property("serviceEnabled").toBool(), true);

    QStringList members;
    for (const QJsonObject &call : world->systemdCalls()) {
        const QString member = call.value(QStringLiteral("member")).toString();
        if (member == QLatin1String("Introspect"))
            continue; // Qt's own look at the manager object
        members << member;
        if (member == QLatin1String("LoadUnit")) {
            EXPECT_EQ(call.value(QStringLiteral("args")).toArray(), QJsonArray{kUnit});
        }
        if (member == QLatin1String("GetAll")) {
            EXPECT_EQ(call.value(QStringLiteral("path")).toString(),
                      QStringLiteral("/org/freedesktop/systemd1/unit/rididirevov_2eservice"));
            EXPECT_EQ(call.value(QStringLiteral("args")).toArray(),
                      QJsonArray{QStringLiteral("org.freedesktop.systemd1.Unit")});
        }
    }
    EXPECT_EQ(members, (QStringList{"Subscribe", "LoadUnit", "GetAll"}));

    // The meta-object is part of the interface other components bind to.
    const QMetaObject *mo = ctl->metaObject();
    const int first = mo->methodOffset();
    ASSERT_EQ(mo->methodCount() - first, 3);
    EXPECT_EQ(QByteArray(mo->method(first).methodSignature()), "serviceStateChanged()");
    EXPECT_EQ(QByteArray(mo->method(first + 1).methodSignature()), "serviceEnabledChanged()");
    EXPECT_EQ(QByteArray(mo->method(first + 2).methodSignature()),
              "onPropertiesChanged(QString,QVariantMap,QStringList)");
    EXPECT_EQ(mo->method(first + 2).access(), QMetaMethod::Private);
}

TEST_F(ServiceControllerTest, StartIsSentUnlessAlreadyUpOrComingUp)
{
    for (const char *state : {"active", "activating"}) {
        force(QString::fromLatin1(state));
        ASSERT_TRUE(world->clearSystemdCalls());
        ctl->controlService(true);
        EXPECT_EQ(world->systemdCallCount(QStringLiteral("StartUnit")), 0) << state;
    }

    // While stopping, a start is queued by systemd behind the stop.
    force(QStringLiteral("deactivating"));
    ASSERT_TRUE(world->clearSystemdCalls());
    ctl->controlService(true);
    const QList<QJsonObject> calls = world->systemdCalls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].value(QStringLiteral("member")).toString(), QStringLiteral("StartUnit"));
    EXPECT_EQ(calls[0].value(QStringLiteral("args")).toArray(), (QJsonArray{kUnit, QStringLiteral("replace")}));

    // Down, failed or a state systemd may add later: let the start through.
    for (const char *state : {"inactive", "failed", "reloading", "maintenance"}) {
        force(QString::fromLatin1(state));
        ASSERT_TRUE(world->clearSystemdCalls());
        ctl->controlService(true);
        EXPECT_EQ(world->systemdCallCount(QStringLiteral("StartUnit")), 1) << state;
        EXPECT_TRUE(TestWorld::waitFor([&] { return ctl->serviceState() == QLatin1String("active"); })) << state;
        EXPECT_EQ(states, (QStringList{"activating", "active"})) << state;
    }
}

TEST_F(ServiceControllerTest, StopIsSentUnlessAlreadyDownOrGoingDown)
{
    for (const char *state : {"inactive", "deactivating"}) {
        force(QString::fromLatin1(state));
        ASSERT_TRUE(world->clearSystemdCalls());
        ctl->controlService(false);
        EXPECT_EQ(world->systemdCallCount(QStringLiteral("StopUnit")), 0) << state;
    }

    force(QStringLiteral("failed"));
    ASSERT_TRUE(world->clearSystemdCalls());
    ctl->controlService(false);
    const QList<QJsonObject> calls = world->systemdCalls();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].value(QStringLiteral("member")).toString(), QStringLiteral("StopUnit"));
    EXPECT_EQ(calls[0].value(QStringLiteral("args")).toArray(), (QJsonArray{kUnit, QStringLiteral("replace")}));

    for (const char *state : {"active", "activating", "reloading"}) {
        force(QString::fromLatin1(state));
        ASSERT_TRUE(world->clearSystemdCalls());
        ctl->controlService(false);
        EXPECT_EQ(world->systemdCallCount(QStringLiteral("StopUnit")), 1) << state;
        EXPECT_TRUE(TestWorld::waitFor([&] { return ctl->serviceState() == QLatin1String("inactive"); })) << state;
        EXPECT_EQ(states, (QStringList{"deactivating", "inactive"})) << state;
    }
}

// Changes arrive in order from systemd, so a final real change tells that
// everything sent before it has been handled.
TEST_F(ServiceControllerTest, OnlyUnitInterfaceActiveStateChangesMatter)
{
    force(QStringLiteral("inactive"));
    enabledChanges.clear();
    LogCapture log;

    for (const char *iface : {"org.freedesktop.systemd1.Service", "org.freedesktop.DBus.Properties", ""}) {
        ASSERT_TRUE(world->emitUnitPropertiesChanged(
            QString::fromLatin1(iface),
            {{QStringLiteral("ActiveState"), QStringLiteral("failed")},
             {QStringLiteral("UnitFileState"), QStringLiteral("disabled")}}));
    }
    ASSERT_TRUE(world->setUnitProperties({{QStringLiteral("SubState"), QStringLiteral("auto-restart")}}));
    // A repeat of the known state is logged but not announced.
    ASSERT_TRUE(world->setUnitProperties({{QStringLiteral("ActiveState"), QStringLiteral("inactive")},
                                          {QStringLiteral("SubState"), QStringLiteral("dead")}}));
    ASSERT_TRUE(world->setUnitProperties({{QStringLiteral("ActiveState"), QStringLiteral("activating")},
                                          {QStringLiteral("SubState"), QStringLiteral("start-pre")}}));
    ASSERT_TRUE(TestWorld::waitFor([&] { return ctl->serviceState() == QLatin1String("activating"); }));

    EXPECT_EQ(states, QStringList{"activating"});
    EXPECT_TRUE(enabledChanges.isEmpty());
    EXPECT_TRUE(ctl->serviceEnabled());
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Novum Dalvik is")), 2) << qPrintable(log.all().join('\n'));
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Novum Dalvik is inactive (dead)")), 1);
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Novum Dalvik is activating (start-pre)")), 1);
}

TEST_F(ServiceControllerTest, EnabledMeansExactlyEnabled)
{
    ASSERT_TRUE(ctl->serviceEnabled());
    enabledChanges.clear();
    auto setFileState = [](const char *s) {
        return world->setUnitProperties({{QStringLiteral("UnitFileState"), QString::fromLatin1(s)}});
    };
    ASSERT_TRUE(setFileState("enabled-runtime"));
    ASSERT_TRUE(setFileState("disabled"));
    ASSERT_TRUE(setFileState("static"));
    ASSERT_TRUE(world->setUnitProperties({{QStringLiteral("UnitFileState"), 1}})); // not even a string
    ASSERT_TRUE(setFileState("enabled"));
    ASSERT_TRUE(setFileState("enabled"));
    ASSERT_TRUE(TestWorld::waitFor([&] { return enabledChanges.size() >= 2; }));
    force(QStringLiteral("failed")); // everything before has been handled
    EXPECT_EQ(enabledChanges, (QList<bool>{false, true}));
}

TEST_F(ServiceControllerTest, AutostartRequestsReachSystemd)
{
    ASSERT_TRUE(ctl->serviceEnabled());
    enabledChanges.clear();
    ASSERT_TRUE(world->clearSystemdCalls());

    ctl->controlServiceAutostart(false);
    ASSERT_TRUE(TestWorld::waitFor([&] { return !ctl->serviceEnabled(); }));
    ctl->controlServiceAutostart(true);
    ASSERT_TRUE(TestWorld::waitFor([&] { return ctl->serviceEnabled(); }));
    EXPECT_EQ(enabledChanges, (QList<bool>{false, true}));

    const QList<QJsonObject> calls = world->systemdCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].value(QStringLiteral("member")).toString(), QStringLiteral("DisableUnitFiles"));
    EXPECT_EQ(calls[0].value(QStringLiteral("args")).toArray(), (QJsonArray{QJsonArray{kUnit}, false}));
    EXPECT_EQ(calls[1].value(QStringLiteral("member")).toString(), QStringLiteral("EnableUnitFiles"));
    EXPECT_EQ(calls[1].value(QStringLiteral("args")).toArray(), (QJsonArray{QJsonArray{kUnit}, false, true}));
}
