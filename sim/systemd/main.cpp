// ferry-systemd-standin: systemd's manager and the unit
// "rididirevov.service" on a (private) system bus, for tests and the demo.
//
//   ferry-systemd-standin [--bus ADDRESS] [--runtime-command CMD]
//                         [--ready-file PATH] [--call-log PATH]
//                         [--unit-file-state STATE] [--no-unit]
//                         [--refuse-properties] [--stop-timeout MS]
//
// Each option falls back to an environment variable: DBUS_SYSTEM_BUS_ADDRESS,
// FERRY_RUNTIME_COMMAND, FERRY_RUNTIME_READY_FILE, FERRY_SYSTEMD_CALL_LOG.
// Prints "ready" on stdout once it owns "org.freedesktop.systemd1".
// SIGTERM or SIGINT stop the unit's command and end the program.

#include "standinoptions.h"
#include "systemdstandin.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(s_signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    StandinOptions options;
    QString error;
    if (!options.parse(app.arguments(), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s_signalPipe) != 0) {
        std::perror("socketpair");
        return 1;
    }
    QSocketNotifier quitNotifier(s_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);

    // A named connection even for the system bus: Qt holds back what its
    // default connections receive until the event loop first runs, and may
    // then hand over calls out of order.
    QDBusConnection bus = options.busAddress.isEmpty()
        ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, QStringLiteral("ferry-systemd-standin"))
        : QDBusConnection::connectToBus(options.busAddress, QStringLiteral("ferry-systemd-standin"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "ferry-systemd-standin: cannot connect to the bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }

    int status = 0;
    {
        SystemdStandin standin(options, bus);
        if (!standin.publish(&error)) {
            std::fprintf(stderr, "ferry-systemd-standin: %s\n", qPrintable(error));
            return 1;
        }
        std::printf("ready\n");
        std::fflush(stdout);
        status = app.exec();
    } // the unit's command goes down with the stand-in
    return status;
}
