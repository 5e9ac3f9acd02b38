// ferryd's desktop side against the simulated runtime: what an installed
// app leaves on the host (desktop entries, icons, settings entry, share
// targets), reports repeated, blacklisted packages, orphans after a
// runtime start, removal, and hostile reports.
#include "ferrydworld.h"
#include "runtimesimclient.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Generous: the first install starts the runtime, and the guest may share a busy machine.
const int kTimeoutMs = 60000;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

ino_t inode(const QString &path)
{
    struct stat st;
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QStringList tree(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

class DaemonLaunchersTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new FerrydWorld;
        const QString dir = QDir::tempPath() + QString("/ferryd-launchers-%1").arg(getpid());
        QDir().mkpath(dir);
        sim = new RuntimeSimClient(dir);
        qputenv("FERRY_BUILD_PROP", world->buildPropFile().toLocal8Bit());
        const QString blacklist = world->makeFile("blacklist", "  com.example.hidden \n");
        qputenv("FERRYD_PACKAGE_BLACKLIST_PATH", blacklist.toLocal8Bit());
        QString error;
        if (!world->start(&error, sim->unitCommand(FERRY_RUNTIME_SIM_BIN), 29))
            skipReason = error;
        else if (!world->startDaemon())
            skipReason = "ferryd did not come up";
        qunsetenv("FERRYD_PACKAGE_BLACKLIST_PATH");
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

    // Calls the simulator made to the host's launcher service.
    static QList<QJsonObject> reports(int code, const QString &package = QString())
    {
        QList<QJsonObject> out;
        for (const QJsonObject &o : sim->transactions("novum.launcher", code)) {
            if (o.value("outgoing").toBool() &&
                (package.isEmpty() || o.value("args").toArray().at(0).toString() == package))
                out << o;
        }
        return out;
    }
    // Installs a fake APK with the given description and waits until the
    // runtime has reported its activities.
    static bool install(const QString &package, const QJsonArray &activities)
    {
        const QJsonObject description{{"package", package}, {"version", "3.1"}, {"activities", activities}};
        const QString apk = world->makeFile("downloads/" + package + "-3.apk",
                                            QJsonDocument(description).toJson(), 0644);
        const int before = reports(1, package).size() + reports(4, package).size();
        const QDBusMessage reply = world->call("installFile", {apk});
        if (!reply.arguments().value(0).toBool())
            return false;
        return TestWorld::waitFor([&] {
            return reports(1, package).size() + reports(4, package).size() >= before + activities.size();
        }, kTimeoutMs);
    }
    static bool restartRuntime()
    {
        const int completes = reports(2).size();
        world->call("controlService", {false});
        if (!world->world().waitForUnitState("inactive", kTimeoutMs))
            return false;
        world->call("controlService", {true});
        return TestWorld::waitFor([&] { return reports(2).size() > completes; }, kTimeoutMs);
    }
    static QString entry(const QString &name) { return world->applicationsDir() + name + ".desktop"; }
    static QString icon(const QString &name) { return world->iconDir() + name + ".png"; }
    static QString settings(const QString &name) { return world->settingsEntriesDir() + name + ".json"; }

    static FerrydWorld *world;
    static RuntimeSimClient *sim;
    static QString skipReason;
};
FerrydWorld *DaemonLaunchersTest::world = nullptr;
RuntimeSimClient *DaemonLaunchersTest::sim = nullptr;
QString DaemonLaunchersTest::skipReason;

const QString kMain = "ferryd_launcher_com_example_viewer-com_example_viewer_Main";
const QString kView = "ferryd_handler_com_example_viewer-com_example_viewer_View";
const QString kSend = "ferryd_handler_com_example_viewer-com_example_viewer_Send";

TEST_F(DaemonLaunchersTest, InstalledAppAppearsOnceAndRemovalTakesItAway)
{
    ASSERT_TRUE(install("com.example.viewer",
                        {QJsonObject{{"class", "com.example.viewer.Main"}, {"label", "Viewer"},
                                     {"icon", QString(QByteArray("\x89PNG main").toBase64())}},
                         QJsonObject{{"class", "com.example.viewer.View"}, {"label", "Viewer"},
                                     {"mimeTypes", QJsonArray{"text/html"}}, {"schemes", QJsonArray{"viewer"}},
                                     {"hosts", QJsonArray{"*.example.com"}}},
                         QJsonObject{{"class", "com.example.viewer.Send"}, {"label", "Viewer"},
                                     {"caption", "Send to viewer"}, {"shareTypes", QJsonArray{"text/plain", "image/*"}},
                                     {"multi", true}, {"iconSize", 100}}}));
    for (const QJsonObject &r : reports(1) + reports(4))
        EXPECT_EQ(r.value("status").toInt(), 0);

    const QByteArray main = readAll(entry(kMain));
    EXPECT_TRUE(main.contains("\nExec=ferryd-launcher com.example.viewer.apk com.example.viewer/com.example.viewer.Main\n"))
        << main.constData();
    EXPECT_TRUE(main.contains("\nName=Viewer\n") && !main.contains("NoDisplay"));
    EXPECT_EQ(readAll(icon(kMain)), "\x89PNG main");
    const QJsonObject page = QJsonDocument::fromJson(readAll(settings(kMain))).object()
                                 .value("entries").toArray().at(0).toObject();
    EXPECT_EQ(page.value("path").toString(), "applications/" + kMain + ".desktop");
    EXPECT_EQ(page.value("params").toObject().value("properties").toObject().value("packageVersion").toString(), "3.1");

    const QByteArray view = readAll(entry(kView));
    EXPECT_TRUE(view.contains("\nMimeType=text/html;x-scheme-handler/viewer;x-url-handler/*.example.com\n")) << view.constData();
    EXPECT_TRUE(view.contains("\nExec=ferryd-launcher -d %U com.example.viewer.apk com.example.viewer/com.example.viewer.View\n"));
    EXPECT_TRUE(view.contains("\nNoDisplay=true\n"));
    EXPECT_FALSE(QFile::exists(settings(kView)));
    EXPECT_EQ(readAll(icon(kSend)).size(), 100);

    const QJsonObject registry = QJsonDocument::fromJson(readAll(world->sharingRegistry())).object();
    EXPECT_EQ(registry.keys(), QStringList{"com.example.viewer"});
    EXPECT_EQ(registry.value("com.example.viewer").toObject().value("com.example.viewer.Send").toObject(),
              (QJsonObject{{"label", "Viewer"}, {"caption", "Send to viewer"}, {"icon", icon(kSend)},
                           {"mimetypes", QJsonArray{"text/plain", "image/*"}}, {"multi", true}}));

    // Android reporting the same again changes no file.
    const QStringList files{entry(kMain), icon(kMain), settings(kMain), entry(kView), world->sharingRegistry()};
    QList<ino_t> inodes;
    for (const QString &f : files)
        inodes << inode(f);
    const QJsonObject again = sim->command({{"cmd", "report-launchers"},
                                            {"packages", QJsonArray{"com.example.viewer"}}, {"complete", false}});
    EXPECT_EQ(again.value("calls").toInt(), 3) << QJsonDocument(again).toJson().constData();
    for (int i = 0; i < files.size(); ++i)
        EXPECT_EQ(inode(files.at(i)), inodes.at(i)) << qPrintable(files.at(i));

    // Removal: the runtime reports it, and everything of the app goes.
    ASSERT_TRUE(world->call("removeFile", {QString("com.example.viewer")}).arguments().value(0).toBool());
    ASSERT_TRUE(TestWorld::waitFor([] { return !reports(3, "com.example.viewer").isEmpty(); }, kTimeoutMs));
    for (const QString &f : {entry(kMain), icon(kMain), settings(kMain), entry(kView), icon(kView), entry(kSend),
                             icon(kSend)})
        EXPECT_FALSE(QFile::exists(f)) << qPrintable(f);
    EXPECT_EQ(readAll(world->sharingRegistry()), "{\n}\n");
}

TEST_F(DaemonLaunchersTest, BlacklistedAppIsHiddenAndOrphansGoAfterARuntimeStart)
{
    ASSERT_TRUE(install("com.example.hidden",
                        {QJsonObject{{"class", "com.example.hidden.Main"}, {"label", "Hidden"}},
                         QJsonObject{{"class", "com.example.hidden.Send"}, {"label", "Hidden"},
                                     {"shareTypes", QJsonArray{"text/plain"}}}}));
    const QString hidden = "ferryd_launcher_com_example_hidden-com_example_hidden_Main";
    EXPECT_TRUE(readAll(entry(hidden)).contains("\nNoDisplay=true\n"));
    EXPECT_FALSE(QFile::exists(entry("ferryd_handler_com_example_hidden-com_example_hidden_Send")));
    EXPECT_FALSE(readAll(world->sharingRegistry()).contains("com.example.hidden"));

    // Left from an app that is no longer installed.
    const QString orphan = "ferryd_launcher_com_example_gone-com_example_gone_Main";
    world->makeFile("applications/" + orphan + ".desktop", "[Desktop Entry]\nX-ferryd-packageName=com.example.gone\n");
    world->makeFile("icons/" + orphan + ".png", "old icon");
    world->makeFile("settings-entries/" + orphan + ".json", "{}");
    ASSERT_TRUE(restartRuntime());
    EXPECT_FALSE(QFile::exists(entry(orphan)) || QFile::exists(icon(orphan)) || QFile::exists(settings(orphan)));
    EXPECT_TRUE(QFile::exists(entry(hidden)));
    EXPECT_FALSE(readAll(world->sharingRegistry()).contains("com.example.hidden"));
}

TEST_F(DaemonLaunchersTest, HostileReportsWriteNothingAnywhere)
{
    ASSERT_TRUE(TestWorld::waitFor([] { return !reports(2).isEmpty(); }, kTimeoutMs));
    const QStringList before = tree(world->path(""));
    auto launcher = [](const QString &package, const QString &cls, const QString &label) {
        QJsonArray args;
        for (const QString &text : {package, cls, label, QString("1")})
            args << QJsonObject{{"s16", text}};
        args << QJsonObject{{"bytes", "89504e47"}};
        return QJsonObject{{"cmd", "call"}, {"service", "novum.launcher"}, {"code", 1}, {"args", args}};
    };
    for (const QJsonObject &call : {launcher("../../../../tmp/evil", "Main", "L"), launcher("com.a", "../../../tmp/evil", "L"),
                                    launcher("com.a", "Main --evil %U", "L"), launcher("com.a", "com.a.Main", "L\nExec=/bin/sh")}) {
        const QJsonObject answer = sim->command(call);
        EXPECT_EQ(answer.value("status").toInt(-99), 0) << QJsonDocument(answer).toJson().constData();
    }
    const QJsonObject unknown = sim->command({{"cmd", "call"}, {"service", "novum.launcher"}, {"code", 5}});
    EXPECT_EQ(unknown.value("status").toInt(), 1);
    EXPECT_EQ(tree(world->path("")), before);
    EXPECT_EQ(tree("/tmp").filter("evil"), QStringList());

    // An icon beyond the cap leaves the earlier one; the entry is still updated.
    const QString hidden = "ferryd_launcher_com_example_hidden-com_example_hidden_Main";
    const QByteArray oldIcon = readAll(icon(hidden));
    ASSERT_TRUE(install("com.example.hidden", {QJsonObject{{"class", "com.example.hidden.Main"},
                                                           {"label", "Renamed"}, {"iconSize", 512 * 1024 + 1}}}));
    EXPECT_TRUE(readAll(entry(hidden)).contains("\nName=Renamed\n"));
    EXPECT_EQ(readAll(icon(hidden)), oldIcon);
}

} // namespace
