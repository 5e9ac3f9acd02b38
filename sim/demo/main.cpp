// demo-world: the main job's demo. Inside the real-binder guest it builds
// the demo world (private system and session buses, the systemd stand-in
// whose runtime unit runs ferry-runtime-sim, a recording notification
// server, ferryd as a real process) and installs and removes one APK end
// to end as a D-Bus client would, telling in plain words what happens.
// Exit status 0 when every step worked, 1 when one failed, 2 outside the
// guest.
#include "faketimedate.h"
#include "ferrydworld.h"
#include "contactsstep.h"
#include "ferrystep.h"
#include "fileindex.h"
#include "filestep.h"
#include "gnssstep.h"
#include "notificationstep.h"
#include "runtimesimclient.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace {

const int kSdk = 29;
const QString kPackage = QStringLiteral("com.example.demo");
const QString kActivity = QStringLiteral("com.example.demo.MainActivity");
// A 16x16 PNG: a green disc.
const char kIconBase64[] =
    "iVBORw0KGgoAAAANSUhEUgAAABAAAAAQCAIAAACQkWg2AAAAOklEQVR42mP4TyJgQOPb3mlBQ/g0YKrG1MNAUDWaHgZiVCPrYSBSNVzPiNVAcrCSE3HkJA1yEh8x"
    "AAD9IiafHGARrQAAAABJRU5ErkJggg==";
const int kLauncherAddedCode = 1;
const int kPackageRemovedCode = 3;
// Codes of the simulated runtime on this SDK level: the runtime's own
// service installs, the package manager deletes.
const int kInstallCode = 2;
const int kDeleteCode = 66;
const int kListenerCode = 15;
const int kLaunchCode = 1;
const int kStartActivityCode = 7;
const int kStepTimeoutMs = 20000;

void say(const QString &line)
{
    std::printf("demo: %s\n", qPrintable(line));
    std::fflush(stdout);
}

int fail(const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

QString unitState(TestWorld &world)
{
    const QVariantMap p = world.unitProperties();
    return QStringLiteral("%1 (%2)").arg(p.value("ActiveState").toString(), p.value("SubState").toString());
}

// What the simulated runtime told ferryd's launcher service with this code.
QList<QJsonObject> launcherReports(const RuntimeSimClient &sim, int code)
{
    QList<QJsonObject> reports;
    for (const QJsonObject &call : sim.transactions(QStringLiteral("novum.launcher"), code)) {
        if (call.value(QStringLiteral("outgoing")).toBool() && call.value(QStringLiteral("status")).toInt() == 0)
            reports << call;
    }
    return reports;
}

// A D-Bus call to ferryd on the private system bus; the boolean it answers.
bool callDaemon(FerrydWorld &world, const QString &method, const QString &argument, QString *error)
{
    const QDBusMessage reply = world.call(method, {argument});
    if (reply.type() != QDBusMessage::ReplyMessage) {
        *error = reply.errorMessage();
        return false;
    }
    return reply.arguments().value(0).toBool();
}

// The host's time daemon on the private system bus, answering from a
// thread of its own (ferryd's calls to it block).
class TimeDaemon
{
public:
    bool start(const QString &systemBusAddress)
    {
        m_thread.start();
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(systemBusAddress, QStringLiteral("demo-timedate")));
        m_timedate = new FakeTimedate(*m_connection, QStringLiteral("Europe/Helsinki"));
        m_timedate->moveToThread(&m_thread);
        return m_timedate->isRegistered();
    }
    ~TimeDaemon()
    {
        if (FakeTimedate *t = m_timedate)
            QMetaObject::invokeMethod(t, [t] { delete t; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
        m_connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("demo-timedate"));
    }

private:
    QThread m_thread;
    std::unique_ptr<QDBusConnection> m_connection;
    FakeTimedate *m_timedate = nullptr;
};

// Starting the app from the host, and an Intent for its settings page.
int launch(FerrydWorld &world, const RuntimeSimClient &sim)
{
    say(QStringLiteral("calling launchApp(\"%1\")").arg(kPackage));
    const QDBusMessage reply = world.call(QStringLiteral("launchApp"), {kPackage});
    if (reply.type() != QDBusMessage::ReplyMessage)
        return fail(QStringLiteral("launchApp failed: %1").arg(reply.errorMessage()));
    if (!TestWorld::waitFor([&] { return !sim.transactions("novum", kLaunchCode).isEmpty(); }, kStepTimeoutMs))
        return fail(QStringLiteral("the runtime never received the launch"));
    say(QStringLiteral("the runtime's novum service received launchPackage(\"%1\")")
            .arg(sim.transactions("novum", kLaunchCode).first().value("args").toArray().at(1).toString()));

    say(QStringLiteral("calling openAppSettings(\"%1\")").arg(kPackage));
    world.call(QStringLiteral("openAppSettings"), {kPackage});
    if (!TestWorld::waitFor([&] { return !sim.transactions("activity", kStartActivityCode).isEmpty(); },
                            kStepTimeoutMs))
        return fail(QStringLiteral("the runtime's activity manager never received startActivity"));
    const QJsonObject intent = sim.transactions("activity", kStartActivityCode).first().value("intent").toObject();
    say(QStringLiteral("the runtime's activity manager received startActivity with the Intent %1")
            .arg(QString::fromUtf8(QJsonDocument(intent).toJson(QJsonDocument::Compact))));
    return 0;
}

int run()
{
    QTemporaryDir simDir;
    if (!simDir.isValid())
        return fail(QStringLiteral("no temporary directory"));
    const RuntimeSimClient sim(simDir.path());
    FerrydWorld world;
    TimeDaemon timeDaemon;
    // The simulator, started by the stand-in with this environment, reads
    // the same build properties as ferryd.
    qputenv("FERRY_BUILD_PROP", world.buildPropFile().toLocal8Bit());

    say(QStringLiteral("starting private buses, the systemd stand-in and user %1's session bus")
            .arg(FerrydWorld::kUserUid));
    QString error;
    if (!world.start(&error, sim.unitCommand(FERRY_RUNTIME_SIM_BIN), kSdk))
        return fail(error);
    say(QStringLiteral("private system bus at %1").arg(world.world().systemBusAddress()));
    // The host's file index comes up meanwhile; the user bridge needs it.
    FileIndex fileIndex;
    if (startFileIndex(world.world(), fileIndex, simDir.path()) != 0)
        return fail(QStringLiteral("tracker3 endpoint did not start"));
    say(QStringLiteral("seat0 has user %1 active; its session bus is at /run/user/%1/dbus/user_bus_socket "
                       "with a recording notification server on it")
            .arg(FerrydWorld::kUserUid));
    if (!timeDaemon.start(world.world().systemBusAddress()))
        return fail(QStringLiteral("the time daemon stand-in did not register"));
    say(QStringLiteral("the host's time daemon stand-in says the time zone is Europe/Helsinki"));
    say(QStringLiteral("the runtime unit runs ferry-runtime-sim on SDK %1 (build.prop %2)")
            .arg(kSdk)
            .arg(world.buildPropFile()));

    say(QStringLiteral("starting ferryd (Android data root %1)").arg(world.dataRoot()));
    const qint64 daemon = world.startDaemon();
    if (!daemon)
        return fail(QStringLiteral("ferryd did not register com.kestrel.ferryd"));
    say(QStringLiteral("ferryd is up as pid %1 and owns com.kestrel.ferryd on the private system bus").arg(daemon));
    say(QStringLiteral("runtime unit rididirevov.service is %1").arg(unitState(world.world())));

    // The fake APK describes the app to the simulated runtime.
    const QJsonObject description{
        {QStringLiteral("package"), kPackage},
        {QStringLiteral("version"), QStringLiteral("1.0")},
        {QStringLiteral("activities"),
         QJsonArray{QJsonObject{{QStringLiteral("class"), kActivity},
                                {QStringLiteral("label"), QStringLiteral("Demo")},
                                {QStringLiteral("icon"), QString::fromLatin1(kIconBase64)}}}}};
    const QString apk = world.makeFile(QStringLiteral("downloads/%1-1.apk").arg(kPackage),
                                       QJsonDocument(description).toJson(QJsonDocument::Compact), 0644);
    say(QStringLiteral("calling installFile(\"%1\")").arg(apk));
    if (!callDaemon(world, QStringLiteral("installFile"), apk, &error))
        return fail(QStringLiteral("installFile was refused %1").arg(error));
    say(QStringLiteral("ferryd accepted the install"));

    if (!TestWorld::waitFor([&] { return world.world().systemdCallCount("StartUnit") > 0; }, kStepTimeoutMs))
        return fail(QStringLiteral("ferryd never asked systemd to start the runtime"));
    for (const QJsonObject &call : world.world().systemdCalls()) {
        if (call.value("member").toString() == QLatin1String("StartUnit"))
            say(QStringLiteral("ferryd asked systemd: StartUnit%1")
                    .arg(QString::fromUtf8(QJsonDocument(call.value("args").toArray()).toJson(QJsonDocument::Compact))));
    }
    if (!world.world().waitForUnitState(QStringLiteral("active"), kStepTimeoutMs))
        return fail(QStringLiteral("the runtime unit did not become active; it is %1").arg(unitState(world.world())));
    say(QStringLiteral("runtime unit is active: the simulator runs as pid %1").arg(world.world().runtimePid()));
    if (TestWorld::waitFor([&] { return !sim.transactions("novum", kListenerCode).isEmpty(); }, kStepTimeoutMs))
        say(QStringLiteral("ferryd connected to the runtime and registered its listener with novum"));

    if (!TestWorld::waitFor([&] { return !sim.transactions("novum", kInstallCode).isEmpty(); }, kStepTimeoutMs))
        return fail(QStringLiteral("the runtime never received the install"));
    const QJsonObject install = sim.transactions("novum", kInstallCode).first();
    const QJsonArray installArgs = install.value("args").toArray();
    say(QStringLiteral("the runtime's novum service received install(\"%1\", %2)")
            .arg(installArgs.at(1).toString(),
                 installArgs.at(2).toString() == QLatin1String("binder") ? QStringLiteral("an install observer")
                                                                         : QStringLiteral("no observer")));
    const QString staged = world.dataRoot() + installArgs.at(1).toString();
    struct stat st;
    if (stat(QFile::encodeName(staged).constData(), &st) == 0)
        say(QStringLiteral("ferryd staged the file as %1 (mode %2, owner uid %3)")
                .arg(staged)
                .arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'))
                .arg(st.st_uid));
    if (install.value("observerStatus").toInt(-1) != 0)
        return fail(QStringLiteral("the simulator could not report to the observer: %1")
                        .arg(QString::fromUtf8(QJsonDocument(install).toJson(QJsonDocument::Compact))));
    say(QStringLiteral("the simulator's install observer reported success (result 1) for %1").arg(kPackage));

    if (!world.waitForNotifications(1, kStepTimeoutMs))
        return fail(QStringLiteral("ferryd published no notification"));
    const FakeNotificationServer::Entry note = world.notificationsPublished().first();
    say(QStringLiteral("ferryd published notification: \"%1 / %2\" (app \"%3\", icon %4)")
            .arg(note.summary, note.body.isEmpty() ? QStringLiteral("(no body)") : note.body, note.appName,
                 note.appIcon));

    if (!TestWorld::waitFor([&] { return !launcherReports(sim, kLauncherAddedCode).isEmpty(); }, kStepTimeoutMs))
        return fail(QStringLiteral("the runtime never reported the app's launcher to ferryd"));
    say(QStringLiteral("the runtime reported launcher %1/%2 (\"Demo\", version 1.0, a %3-byte icon) to "
                       "ferryd's novum.launcher")
            .arg(kPackage, kActivity)
            .arg(QByteArray::fromBase64(kIconBase64).size()));
    const QString entryName = QStringLiteral("ferryd_launcher_com_example_demo-com_example_demo_MainActivity");
    const QString entry = world.applicationsDir() + entryName + QStringLiteral(".desktop");
    const QString icon = world.iconDir() + entryName + QStringLiteral(".png");
    const QString settings = world.settingsEntriesDir() + entryName + QStringLiteral(".json");
    QFile entryFile(entry);
    if (!entryFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("ferryd wrote no desktop entry %1").arg(entry));
    say(QStringLiteral("ferryd wrote the desktop entry %1:").arg(entry));
    for (const QByteArray &line : entryFile.readAll().split('\n')) {
        if (!line.isEmpty())
            say(QStringLiteral("    ") + QString::fromUtf8(line));
    }
    QFile iconFile(icon);
    if (!iconFile.open(QIODevice::ReadOnly) || iconFile.readAll() != QByteArray::fromBase64(kIconBase64))
        return fail(QStringLiteral("the icon %1 is missing or differs from the app's").arg(icon));
    say(QStringLiteral("the icon %1 holds the app's %2-byte PNG").arg(icon).arg(iconFile.size()));
    QFile settingsFile(settings);
    if (!settingsFile.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("ferryd wrote no settings entry %1").arg(settings));
    say(QStringLiteral("the settings entry %1 reads %2")
            .arg(settings, QString::fromUtf8(QJsonDocument::fromJson(settingsFile.readAll())
                                                 .toJson(QJsonDocument::Compact))));

    if (showFerryCommands(world, say) != 0)
        return 1;
    if (const int status = launch(world, sim))
        return status;

    say(QStringLiteral("calling removeFile(\"%1\")").arg(kPackage));
    if (!callDaemon(world, QStringLiteral("removeFile"), kPackage, &error))
        return fail(QStringLiteral("removeFile was refused %1").arg(error));
    if (!TestWorld::waitFor([&] { return !sim.transactions("package", kDeleteCode).isEmpty(); }, kStepTimeoutMs))
        return fail(QStringLiteral("the runtime never received the removal"));
    const QJsonArray del = sim.transactions("package", kDeleteCode).first().value("args").toArray();
    say(QStringLiteral("the runtime's package manager received deletePackageAsUser(\"%1\", version %2, "
                       "observer %3, user %4, flags %5)")
            .arg(del.at(1).toString())
            .arg(del.at(2).toInt())
            .arg(del.at(3).toString())
            .arg(del.at(4).toInt())
            .arg(del.at(5).toInt()));

    if (!TestWorld::waitFor([&] { return !launcherReports(sim, kPackageRemovedCode).isEmpty(); }, kStepTimeoutMs))
        return fail(QStringLiteral("the runtime never reported the removal to ferryd"));
    say(QStringLiteral("the runtime reported the removal of %1 to ferryd's novum.launcher").arg(kPackage));
    for (const QString &path : {entry, icon, settings}) {
        if (QFile::exists(path))
            return fail(QStringLiteral("%1 is still there").arg(path));
    }
    say(QStringLiteral("ferryd deleted the desktop entry, the icon and the settings entry"));

    if (showGnssThroughBridge(world.world(), sim, simDir.path(), fileIndex, say) != 0)
        return 1;
    if (showNotificationThroughBridge(world, sim, simDir.path(), say) != 0)
        return 1;
    if (showContactsThroughBridge(world.world(), sim, simDir.path(), say) != 0)
        return 1;

    say(QStringLiteral("tearing down: ferryd, the runtime, the stand-in and the buses"));
    if (!world.stopDaemon())
        return fail(QStringLiteral("ferryd did not stop"));
    return 0;
}

} // namespace

#ifdef FERRY_DEMO_AUDIO
int runAudioStep();
#endif

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qgetenv("FERRY_IN_VM") != "1") {
        std::fprintf(stderr, "demo-world needs the real-binder guest: tools/vm/run %s\n", argv[0]);
        return 2;
    }
    int status = run();
#ifdef FERRY_DEMO_AUDIO
    if (status == 0)
        status = runAudioStep();
#endif
    if (status == 0)
        say(QStringLiteral("done: one APK installed, shown on the host and removed end to end; a notification carried both ways; a tone played through novumaudioservice"));
    return status;
}
