// The installed system under real systemd (tools/vm/run --system): only
// systemd and D-Bus activation start ferry's programs, the logged-in user
// drives them with ferry, and the simulated runtime is rididirevov.service.
// The cases run in order and build on each other, as a boot would.
#include "fakenotificationserver.h"
#include "systemguest.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const int kTimeoutMs = 90000;
const char kPackage[] = "com.example.system";
const QString kEntry = QStringLiteral(
    "/usr/share/applications/ferryd_launcher_com_example_system-com_example_system_Main.desktop");

const QString kFerry = QStringLiteral(FERRY_INSTALLED_BINDIR "/ferry");
const SystemGuest *const guest = new SystemGuest;

class FullSystemTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!guest->problem().isEmpty())
            GTEST_SKIP() << qPrintable(guest->problem());
    }
    void TearDown() override
    {
        // What the units said is the first thing anyone needs when this fails.
        if (HasFailure())
            std::printf("%s", guest->journals().constData());
    }

    static bool everythingRegistered(QStringList *missing)
    {
        return SystemGuest::waitFor([&] { return (*missing = guest->missingRegistrations()).isEmpty(); }, kTimeoutMs);
    }
    static qint64 busOwnerPid()
    {
        return QDBusConnection::systemBus().interface()->servicePid(QStringLiteral("com.kestrel.ferryd")).value();
    }
};

TEST_F(FullSystemTest, DaemonIsActivatedOnTheBusForTheActiveUser)
{
    const SystemGuest::Run r = guest->asUser({kFerry, "status", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(QJsonDocument::fromJson(r.out).object().value("sdk").toInt(), 29) << r.out.constData();
    EXPECT_EQ(guest->unitState("ferryd.service"), "active");
    // The name belongs to the process systemd started for the activation.
    EXPECT_EQ(busOwnerPid(), guest->mainPid("ferryd.service"));
}

TEST_F(FullSystemTest, InstallAndLaunchAsTheLoggedInUser)
{
    // ferryd speaks to the active user's session bus; the result has to
    // arrive there.
    QDBusConnection userBus = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/run/user/%1/bus").arg(guest->uid()), QStringLiteral("user-bus"));
    ASSERT_TRUE(userBus.isConnected()) << qPrintable(userBus.lastError().message());
    FakeNotificationServer notifications(userBus);
    ASSERT_TRUE(notifications.isRegistered());
    EXPECT_EQ(guest->unitState("rididirevov.service"), "inactive");

    const QString apk = guest->home() + "/com.example.system-1.apk";
    const QJsonObject description{
        {"package", kPackage}, {"version", "1"},
        {"activities", QJsonArray{QJsonObject{{"class", "com.example.system.Main"}, {"label", "System App"}}}}};
    ASSERT_EQ(guest->asUser({"sh", "-c", "cat >" + apk + " <<'EOF'\n" + QJsonDocument(description).toJson() + "EOF"})
                  .status,
              0);
    SystemGuest::Run r = guest->asUser({kFerry, "install", apk});
    ASSERT_EQ(r.status, 0) << r.err.constData();

    // ferryd started the runtime through systemd, and the install went all
    // the way to the launcher entry and the user's notification.
    EXPECT_TRUE(SystemGuest::waitFor([] { return guest->unitState("rididirevov.service") == "active"; }, kTimeoutMs));
    EXPECT_TRUE(SystemGuest::waitFor([] { return QFile::exists(kEntry); }, kTimeoutMs));
    ASSERT_TRUE(SystemGuest::waitFor([&] { return !notifications.publishedEntries().isEmpty(); }, kTimeoutMs));
    // Texts from the installed catalogue; the app's name is its label or,
    // before the launcher entry is written, its package.
    const FakeNotificationServer::Entry result = notifications.publishedEntries().first();
    EXPECT_TRUE(result.summary.startsWith("App installed: ")) << qPrintable(result.summary);
    EXPECT_EQ(result.appName.toStdString(), "Android App Support");

    r = guest->asUser({kFerry, "launch", kPackage});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(SystemGuest::waitFor(
        [] {
            const QList<QJsonObject> launches = guest->sim().transactions("novum", 1);
            return !launches.isEmpty() && launches.last().value("args").toArray().at(1).toString() == kPackage;
        },
        kTimeoutMs));
}

TEST_F(FullSystemTest, EveryProgramRunsAndRegistersWithTheRuntime)
{
    for (const QString &unit : SystemGuest::userUnits())
        EXPECT_EQ(guest->unitState(unit, true).toStdString(), "active") << qPrintable(unit);
    QStringList missing;
    EXPECT_TRUE(everythingRegistered(&missing)) << qPrintable(missing.join(", "));
}

TEST_F(FullSystemTest, EveryProgramReconnectsWhenTheRuntimeRestarts)
{
    const auto pids = [] {
        QList<qint64> all{guest->mainPid("ferryd.service")};
        for (const QString &unit : SystemGuest::userUnits())
            all << guest->mainPid(unit, true);
        return all;
    };
    const QList<qint64> before = pids();

    ASSERT_EQ(SystemGuest::run({"systemctl", "stop", "rididirevov.service"}).status, 0);
    EXPECT_EQ(guest->unitState("rididirevov.service"), "inactive");
    ASSERT_EQ(SystemGuest::run({"systemctl", "start", "rididirevov.service"}, kTimeoutMs).status, 0);
    QStringList missing;
    EXPECT_TRUE(everythingRegistered(&missing)) << qPrintable(missing.join(", "));

    EXPECT_EQ(pids(), before);   // reconnected, not restarted
    const SystemGuest::Run r = guest->asUser({kFerry, "status"});
    EXPECT_TRUE(r.out.startsWith("Runtime: running\n")) << r.out.constData() << r.err.constData();
}

TEST_F(FullSystemTest, DaemonComesBackAfterBeingKilled)
{
    struct Kill
    {
        const char *signal;
        bool restartedBySystemd;   // else activated again by the next call
    };
    for (const Kill &kill : {Kill{"SIGTERM", false}, Kill{"SIGKILL", true}}) {
        SCOPED_TRACE(kill.signal);
        const qint64 before = guest->mainPid("ferryd.service");
        ASSERT_GT(before, 0);
        ASSERT_EQ(SystemGuest::run({"systemctl", "kill", "--signal", kill.signal, "ferryd.service"}).status, 0);
        ASSERT_TRUE(SystemGuest::waitFor([&] { return guest->mainPid("ferryd.service") != before; }, kTimeoutMs));
        if (kill.restartedBySystemd)
            EXPECT_TRUE(SystemGuest::waitFor([] { return busOwnerPid() > 0; }, kTimeoutMs));
        else
            EXPECT_EQ(guest->unitState("ferryd.service"), "inactive");

        const SystemGuest::Run r = guest->asUser({kFerry, "status"});
        EXPECT_EQ(r.status, 0) << r.err.constData();
        EXPECT_TRUE(r.out.startsWith("Runtime: running\n")) << r.out.constData();
        EXPECT_EQ(busOwnerPid(), guest->mainPid("ferryd.service"));
        EXPECT_NE(guest->mainPid("ferryd.service"), before);
    }
    // The new daemon serves the runtime again.
    QStringList missing;
    EXPECT_TRUE(everythingRegistered(&missing)) << qPrintable(missing.join(", "));
}

TEST_F(FullSystemTest, AnyUserReceivesAppClosedAndTheAppIsRemoved)
{
    // The user's own connection to the system bus, under the installed policy.
    QProcess monitor;
    monitor.start("runuser", {"-u", guest->user(), "--", "dbus-monitor", "--system",
                              "type='signal',interface='com.kestrel.ferryd',member='appClosed'"});
    ASSERT_TRUE(monitor.waitForStarted());
    // It prints its own name's acquisition once its match is in place.
    ASSERT_TRUE(SystemGuest::waitFor([&] { return monitor.bytesAvailable() > 0; }, kTimeoutMs));

    const QJsonObject answer = guest->sim().command(
        {{"cmd", "call"}, {"service", "novum"}, {"code", 0x5eed0002},
         {"args", QJsonArray{QJsonObject{{"s16", "com.example.closed"}}, QJsonObject{{"i32", 1}}}}});
    EXPECT_TRUE(answer.value("ok").toBool()) << QJsonDocument(answer).toJson().constData();
    QByteArray seen;
    EXPECT_TRUE(SystemGuest::waitFor(
        [&] {
            seen += monitor.readAll();
            return seen.contains("member=appClosed") && seen.contains("\"com.example.closed\"");
        },
        kTimeoutMs))
        << seen.constData();
    monitor.kill();
    monitor.waitForFinished(2000);

    const SystemGuest::Run r = guest->asUser({kFerry, "remove", kPackage});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(SystemGuest::waitFor([] { return !QFile::exists(kEntry); }, kTimeoutMs));
}

} // namespace
