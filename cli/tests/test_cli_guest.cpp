// ferry against a running ferryd (SDK 29 codes) and the simulated runtime: what an
// integrator does from the shell, and how refusals come back.
#include "ferrydworld.h"
#include "runtimesimclient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const int kTimeoutMs = 60000;

struct FerryRun
{
    int status = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject json() const { return QJsonDocument::fromJson(out).object(); }
};

class FerryGuestTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new FerrydWorld;
        const QString dir = QDir::tempPath() + QString("/ferry-cli-%1").arg(getpid());
        QDir().mkpath(dir);
        sim = new RuntimeSimClient(dir);
        qputenv("FERRY_BUILD_PROP", world->buildPropFile().toLocal8Bit());
        QString error;
        if (!world->start(&error, sim->unitCommand(FERRY_RUNTIME_SIM_BIN), 29))
            skipReason = error;
        else if (!world->startDaemon())
            skipReason = "ferryd did not come up";
    }
    static void TearDownTestSuite()
    {
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

    // ferry with args, from dir, optionally as the unprivileged user.
    static FerryRun ferry(const QStringList &args, const QString &dir = QString(), bool asNobody = false)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FERRYD_APPLICATIONS_DIR", world->applicationsDir());
        p.setProcessEnvironment(env);
        if (!dir.isEmpty())
            p.setWorkingDirectory(dir);
        if (asNobody)
            p.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", FERRY_BIN} + args);
        else
            p.start(FERRY_BIN, args);
        FerryRun run;
        if (!p.waitForFinished(kTimeoutMs) || p.exitStatus() != QProcess::NormalExit)
            return run;
        run.status = p.exitCode();
        run.out = p.readAllStandardOutput();
        run.err = p.readAllStandardError();
        return run;
    }

    static FerrydWorld *world;
    static RuntimeSimClient *sim;
    static QString skipReason;
};
FerrydWorld *FerryGuestTest::world = nullptr;
RuntimeSimClient *FerryGuestTest::sim = nullptr;
QString FerryGuestTest::skipReason;

TEST_F(FerryGuestTest, InstallLaunchInspectAndRemoveAnApp)
{
    FerryRun r = ferry({"status", "--json"});
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.json().value("sdk").toInt(), 29);
    EXPECT_EQ(r.json().value("release").toString(), "10");
    EXPECT_EQ(r.json().value("securityPatch").toString(), "2020-06-05");

    // A relative file name is taken from ferry's directory, not the daemon's.
    const QJsonObject description{
        {"package", "com.example.cli"}, {"version", "1"},
        {"activities", QJsonArray{QJsonObject{{"class", "com.example.cli.Main"}, {"label", "Cli App"}}}}};
    world->makeFile("downloads/com.example.cli-1.apk", QJsonDocument(description).toJson(), 0644);
    r = ferry({"install", "com.example.cli-1.apk"}, world->path("downloads"));
    ASSERT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, world->path("downloads/com.example.cli-1.apk").toUtf8() + ": install requested\n");
    const QString entry = world->applicationsDir() + "ferryd_launcher_com_example_cli-com_example_cli_Main.desktop";
    ASSERT_TRUE(TestWorld::waitFor([&] { return QFile::exists(entry); }, kTimeoutMs));

    r = ferry({"apps", "--json"});
    ASSERT_EQ(r.status, 0);
    const QJsonArray apps = r.json().value("apps").toArray();
    ASSERT_EQ(apps.size(), 1) << r.out.constData();
    EXPECT_EQ(apps.at(0).toObject().value("package").toString(), "com.example.cli");
    EXPECT_EQ(apps.at(0).toObject().value("label").toString(), "Cli App");
    EXPECT_EQ(apps.at(0).toObject().value("desktopFile").toString(), entry);
    EXPECT_TRUE(ferry({"status"}).out.startsWith("Runtime: running\n"));

    r = ferry({"launch", "com.example.cli"});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    r = ferry({"intent", "--action", "android.intent.action.VIEW", "--data", "https://example.com/x",
               "--package", "com.example.cli", "--extra", "count:int=3"});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    ASSERT_TRUE(TestWorld::waitFor([] { return !sim->transactions("novum", 1).isEmpty(); }, kTimeoutMs));
    EXPECT_EQ(sim->transactions("novum", 1).first().value("args").toArray().at(1).toString(), "com.example.cli");
    // The typed extra arrives as a number, not as text.
    ASSERT_TRUE(TestWorld::waitFor([] { return !sim->transactions("activity", 7).isEmpty(); }, kTimeoutMs));
    const QJsonObject intent = sim->transactions("activity", 7).last().value("intent").toObject();
    EXPECT_EQ(intent.value("action").toString(), "android.intent.action.VIEW");
    EXPECT_EQ(intent.value("data").toString(), "https://example.com/x");
    EXPECT_EQ(intent.value("extras").toObject(), (QJsonObject{{"count", 3}}));

    r = ferry({"size", "com.example.cli", "--json"});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(r.json().contains("codeBytes") && r.json().contains("cacheBytes")) << r.out.constData();
    r = ferry({"data-usage", "--json"});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_GE(r.json().value("bytes").toDouble(-1), 0);

    r = ferry({"autostart", "com.example.cli", "on"});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, "com.example.cli: starts at boot: yes\n");
    EXPECT_EQ(ferry({"autostart", "com.example.cli", "--json"}).json().value("autostart"), QJsonValue(true));

    // Refused by the device policy: the daemon only says false.
    const QString open = world->makeFile("open/com.example.other-1.apk", "apk", 0644);
    world->setPolicy("6 = false\n");
    r = ferry({"install", open}, QString(), true);
    world->setPolicy("");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "ferry: " + open.toUtf8() + ": refused or failed (see the daemon's log)\n");

    // Removal through the desktop entry the listing showed.
    r = ferry({"remove", entry});
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_TRUE(TestWorld::waitFor([&] { return !QFile::exists(entry); }, kTimeoutMs));
    EXPECT_EQ(ferry({"apps"}).out, "No Android apps installed.\n");
}

} // namespace
