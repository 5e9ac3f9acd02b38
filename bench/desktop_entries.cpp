// desktop_entries: how long ferryd takes to turn the runtime's launcher
// reports into desktop entries. In the guest, ferryd runs as a process
// against the simulated runtime; one installed package has 500 activities
// (launchers, URL handlers and share targets with 4 KiB icons). Measured
// from the simulator's side, each call answered only once ferryd has
// written its files:
//   - 500 reports (codes 1 and 4) that create every entry,
//   - the same 500 again (nothing changes, nothing is written),
//   - launchers-complete (code 2) over the 500 existing entries, with the
//     desktop database tool.
// Wall time depends on the guest's speed (software emulation on a shared
// machine); ferryd's CPU time for each step, as the guest accounts it, is
// printed beside it (on a busy host the guest counts the time its virtual
// CPU waited as well, so it then approaches the wall time).
// The same three steps are measured in-process first, DesktopManager alone
// on this machine's file system (inproc_*), which needs no guest.
// Prints name=value lines.
#include "desktopmanager.h"
#include "ferrydworld.h"
#include "runtimesimclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

const int kActivities = 500;

QJsonObject activity(int i)
{
    QJsonObject a{{"class", QString("com.bench.app.Activity%1").arg(i)},
                  {"label", QString("Bench %1").arg(i)}, {"iconSize", 4096}};
    if (i % 2) {
        a.insert("mimeTypes", QJsonArray{"text/html", QString("application/x-bench-%1").arg(i)});
        a.insert("schemes", QJsonArray{QString("bench%1").arg(i)});
    }
    if (i % 10 == 1) {
        a.insert("shareTypes", QJsonArray{"text/plain", "image/*"});
        a.insert("caption", "Share");
    }
    return a;
}

// The activities as the launcher service hands them on.
ApkLauncher launcherOf(int i)
{
    const QJsonObject a = activity(i);
    ApkLauncher l;
    l.packageName = "com.bench.app";
    l.className = a.value("class").toString();
    l.label = a.value("label").toString();
    l.icon = QByteArray(4096, char(i));
    for (const QJsonValue &t : a.value("mimeTypes").toArray())
        l.mimeTypes << t.toString();
    for (const QJsonValue &t : a.value("schemes").toArray())
        l.mimeTypes << "x-scheme-handler/" + t.toString();
    for (const QJsonValue &t : a.value("shareTypes").toArray())
        l.shareMimeTypes << t.toString();
    l.caption = a.value("caption").toString();
    return l;
}

double msSince(QElapsedTimer *timer)
{
    const double ms = double(timer->nsecsElapsed()) / 1e6;
    timer->restart();
    return ms;
}

bool runInProcess()
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    DesktopLocations l;
    l.applicationsDir = dir.filePath("applications/");
    l.iconDir = dir.filePath("icons/");
    l.settingsEntriesDir = dir.filePath("settings/");
    l.sharingRegistry = dir.filePath("state/sharing.json");
    l.desktopDatabaseTool = "/usr/bin/update-desktop-database";
    l.partnerSpaceDir = dir.filePath("partner/");
    QDir().mkpath(l.applicationsDir);
    DesktopManager manager("/android", l);
    QList<ApkLauncher> launchers;
    for (int i = 0; i < kActivities; ++i)
        launchers << launcherOf(i);
    QElapsedTimer timer;
    timer.start();
    for (const ApkLauncher &launcher : launchers)
        manager.onCreateLauncher(launcher);
    const double create = msSince(&timer);
    for (const ApkLauncher &launcher : launchers)
        manager.onCreateLauncher(launcher);
    const double unchanged = msSince(&timer);
    manager.onLaunchersComplete();
    const double complete = msSince(&timer);
    std::printf("inproc_create_ms=%.1f\n", create);
    std::printf("inproc_unchanged_ms=%.1f\n", unchanged);
    std::printf("inproc_launchers_complete_ms=%.1f\n", complete);
    return manager.allDesktopEntries().size() == kActivities;
}

int fail(const QString &why)
{
    std::fprintf(stderr, "desktop_entries: %s\n", qPrintable(why));
    return 1;
}

// User and system CPU time of a process so far.
double cpuMs(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields.at(11).toDouble() + fields.at(12).toDouble()) * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

struct Step
{
    double wallMs = -1;
    double daemonCpuMs = 0;
};

// Until the simulator's reports were all answered.
Step timed(const RuntimeSimClient &sim, qint64 daemon, const QJsonObject &command, int expectedCalls,
           QString *error)
{
    Step step;
    const double cpuBefore = cpuMs(daemon);
    QElapsedTimer timer;
    timer.start();
    const QJsonObject answer = sim.command(command);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    step.daemonCpuMs = cpuMs(daemon) - cpuBefore;
    if (!answer.value("ok").toBool() || answer.value("calls").toInt() != expectedCalls) {
        *error = QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
        return step;
    }
    step.wallMs = ms;
    return step;
}

int run()
{
    const QString dir = QDir::tempPath() + QString("/desktop-entries-bench-%1").arg(getpid());
    QDir().mkpath(dir);
    const RuntimeSimClient sim(dir);
    FerrydWorld world;
    qputenv("FERRY_BUILD_PROP", world.buildPropFile().toLocal8Bit());
    QString error;
    if (!world.start(&error, sim.unitCommand(FERRY_RUNTIME_SIM_BIN), 29))
        return fail(error);
    const qint64 daemon = world.startDaemon();
    if (!daemon)
        return fail("ferryd did not come up");
    world.call("controlService", {true});
    const auto completes = [&] { return sim.transactions("novum.launcher", 2).size(); };
    if (!TestWorld::waitFor([&] { return completes() > 0; }, 30000))
        return fail("the runtime never reported its launchers to ferryd");

    QJsonArray activities;
    for (int i = 0; i < kActivities; ++i)
        activities << activity(i);
    const QString installed = world.dataRoot() + "/data/app/";
    QDir().mkpath(installed);
    QFile apk(installed + "com.bench.app.apk");
    if (!apk.open(QIODevice::WriteOnly))
        return fail("cannot write the installed package");
    apk.write(QJsonDocument(QJsonObject{{"package", "com.bench.app"}, {"version", "1"},
                                        {"activities", activities}}).toJson());
    apk.close();

    const QJsonObject report{{"cmd", "report-launchers"}, {"packages", QJsonArray{"com.bench.app"}},
                             {"complete", false}};
    const Step create = timed(sim, daemon, report, kActivities, &error);
    if (create.wallMs < 0)
        return fail("report failed: " + error);
    const int entries = QDir(world.applicationsDir()).entryList({"ferryd_*.desktop"}, QDir::Files).size();
    if (entries != kActivities)
        return fail(QString("%1 desktop entries instead of %2").arg(entries).arg(kActivities));
    const Step unchanged = timed(sim, daemon, report, kActivities, &error);
    const Step complete = timed(sim, daemon, {{"cmd", "report-launchers"}, {"packages", QJsonArray()}}, 1, &error);
    if (unchanged.wallMs < 0 || complete.wallMs < 0)
        return fail("report failed: " + error);

    std::printf("launchers=%d\n", kActivities);
    std::printf("create_ms=%.1f\n", create.wallMs);
    std::printf("create_ms_per_100=%.1f\n", create.wallMs * 100 / kActivities);
    std::printf("create_ferryd_cpu_ms=%.1f\n", create.daemonCpuMs);
    std::printf("unchanged_ms=%.1f\n", unchanged.wallMs);
    std::printf("unchanged_ferryd_cpu_ms=%.1f\n", unchanged.daemonCpuMs);
    std::printf("launchers_complete_ms=%.1f\n", complete.wallMs);
    std::printf("launchers_complete_ferryd_cpu_ms=%.1f\n", complete.daemonCpuMs);
    world.stopDaemon();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (!runInProcess())
        return fail("the in-process run did not write every entry");
    if (qgetenv("FERRY_IN_VM") != "1") {
        std::fprintf(stderr, "desktop_entries: the rest needs the real-binder guest: tools/vm/run %s\n", argv[0]);
        return 2;
    }
    return run();
}
