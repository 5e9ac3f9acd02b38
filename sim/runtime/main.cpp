// ferry-runtime-sim: stands in for the Android runtime in tests and the
// demo. See README.md.

#include "audiohal.h"
#include "commandserver.h"
#include "launcherreporter.h"
#include "managerhost.h"
#include "sensorsclient.h"
#include "wifistack.h"
#include "servicehost.h"
#include "simoptions.h"
#include "simruntime.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    ssize_t ignored = ::write(g_signalPipe[1], &c, 1);
    (void)ignored;
}

// Children die with the coordinator, even when it is killed hard.
bool tieToParent(const QString &parentPid)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    return !parentPid.isEmpty() && ::getppid() == parentPid.toLongLong();
}

QString valueAfter(const QStringList &args, const QString &option)
{
    const int i = args.indexOf(option);
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : QString();
}

int runCoordinator(QCoreApplication &app)
{
    SimOptions options;
    QString error;
    if (!options.parse(app.arguments(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    // Every process of the simulator logs to the same file.
    if (!options.logFile.isEmpty())
        qputenv("FERRY_SIM_LOG", options.logFile.toLocal8Bit());

    // A command client that goes away before its answer must not end us.
    ::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        struct sigaction sa = {};
        sa.sa_handler = onSignal;
        ::sigaction(SIGTERM, &sa, nullptr);
        ::sigaction(SIGINT, &sa, nullptr);
    }
    QSocketNotifier signalNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });

    SimRuntime runtime(options);
    CommandServer commands(&runtime);
    QObject::connect(&commands, &CommandServer::exitRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    bool failed = false;
    QObject::connect(&runtime, &SimRuntime::started, &app, [&](bool ok, const QString &why) {
        if (!ok) {
            std::fprintf(stderr, "ferry-runtime-sim: %s\n", qPrintable(why));
            failed = true;
            QCoreApplication::exit(1);
            return;
        }
        LauncherReporter::reportAllWhenHostListens(&app);
    });
    if (!options.socketPath.isEmpty() && !commands.listen(options.socketPath, &error)) {
        std::fprintf(stderr, "ferry-runtime-sim: cannot listen on %s: %s\n",
                     qPrintable(options.socketPath), qPrintable(error));
        return 1;
    }
    runtime.start();
    const int code = app.exec();
    runtime.shutdown();
    return failed ? 1 : code;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.contains(QStringLiteral("--serve-manager"))) {
        if (!tieToParent(valueAfter(args, QStringLiteral("--parent-pid"))))
            return 1;
        return runManagerHost(valueAfter(args, QStringLiteral("--serve-manager")),
                              valueAfter(args, QStringLiteral("--protocol")));
    }
    if (args.contains(QStringLiteral("--host-service"))) {
        if (!tieToParent(valueAfter(args, QStringLiteral("--parent-pid"))))
            return 1;
        return runServiceHost(valueAfter(args, QStringLiteral("--host-service")));
    }
    if (args.contains(QStringLiteral("--audio-hal"))) {
        if (!tieToParent(valueAfter(args, QStringLiteral("--parent-pid"))))
            return 1;
        return runAudioHalProcess(valueAfter(args, QStringLiteral("--audio-hal")));
    }
    if (args.contains(QStringLiteral("--sensors"))) {
        if (!tieToParent(valueAfter(args, QStringLiteral("--parent-pid"))))
            return 1;
        return runSensorsProcess(valueAfter(args, QStringLiteral("--sensors")));
    }
    if (args.contains(QStringLiteral("--wifi"))) {
        if (!tieToParent(valueAfter(args, QStringLiteral("--parent-pid"))))
            return 1;
        return runWifiProcess(valueAfter(args, QStringLiteral("--wifi")));
    }
    return runCoordinator(app);
}
