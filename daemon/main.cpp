#include "datapath.h"
#include "ferrydaemon.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtGlobal>

#include <cstdio>
#include <ctime>
#include <poll.h>
#include <systemd/sd-login.h>
#include <unistd.h>

namespace {

const char kTranslationsDir[] = "/usr/share/translations";

// Blocks until seat0 has an active user and returns its uid; exits the
// process with status 3 when login changes cannot be followed.
uid_t waitForActiveUser()
{
    sd_login_monitor *monitor = nullptr;
    if (sd_login_monitor_new("seat", &monitor) < 0) {
        qWarning("Failed to monitor for seat changes");
        exit(3);
    }
    struct pollfd pfd;
    pfd.fd = sd_login_monitor_get_fd(monitor);
    const int events = sd_login_monitor_get_events(monitor);
    if (pfd.fd < 0 || events < 0 || !(events & POLLIN)) {
        qWarning("Unable to poll for systemd login events");
        sd_login_monitor_unref(monitor);
        exit(3);
    }
    pfd.events = short(events);

    uid_t uid = 0;
    for (;;) {
        if (sd_seat_get_active("seat0", nullptr, &uid) >= 0)
            break;
        uint64_t timeoutUs = UINT64_MAX;
        int timeoutMs = -1;
        if (sd_login_monitor_get_timeout(monitor, &timeoutUs) >= 0 && timeoutUs != UINT64_MAX) {
            struct timespec now;
            clock_gettime(CLOCK_MONOTONIC, &now);
            const uint64_t nowUs = uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
            const uint64_t waitMs = timeoutUs > nowUs ? (timeoutUs - nowUs) / 1000u : 0;
            timeoutMs = waitMs > uint64_t(INT_MAX) ? INT_MAX : int(waitMs);
        }
        if (poll(&pfd, 1, timeoutMs) < 0)
            qWarning("poll failed");
        sd_login_monitor_flush(monitor);
    }
    sd_login_monitor_unref(monitor);
    return uid;
}

} // namespace

int main(int argc, char **argv)
{
    if (getuid() != 0) {
        fprintf(stderr, "%s: Not running as root, exiting.\n", argc > 0 ? argv[0] : "ferryd");
        return 2;
    }

    const uid_t uid = waitForActiveUser();
    // The daemon is root, but its session-bus peers (notifications, the
    // launcher) live on the active user's bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            QStringLiteral("unix:path=/run/user/%1/dbus/user_bus_socket").arg(uid).toLocal8Bit());

    QCoreApplication app(argc, argv);

    QTranslator engineeringEnglish;
    if (engineeringEnglish.load(QStringLiteral("ferryd_eng_en"), kTranslationsDir))
        app.installTranslator(&engineeringEnglish);
    QTranslator translator;
    if (translator.load(QLocale(), QStringLiteral("ferryd"), QStringLiteral("-"), kTranslationsDir))
        app.installTranslator(&translator);

    FerryDaemon daemon(dataRoot());
    return app.exec();
}
