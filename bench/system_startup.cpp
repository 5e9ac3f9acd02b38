// system_startup: the installed system under systemd, in the full-system
// guest (tools/vm/run --system build/bench/system_startup [CYCLES]):
//   - ferryd_name_ms: `systemctl start ferryd` to "com.kestrel.ferryd" on
//     the system bus (the daemon's start-up, user lookup and registration);
//   - runtime_to_registered_ms: rididirevov.service "active" to every
//     service of every program registered with the runtime (median of 3
//     restarts of the runtime; _max the slowest);
//   - rss_start_kib_P, rss_after_kib_P, rss_growth_pct_P for ferryd,
//     ferryd-bridge, ferryd-bridge-user and novumaudioservice: resident
//     memory once everything is up and after CYCLES (100) installs and
//     removals through ferry as the logged-in user; the goal is growth of
//     at most 10 %;
//   - cycle_ms: median time of one install and removal.
// Prints name=value lines; exits 1 when a step does not complete.
#include "systemguest.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const int kTimeoutMs = 120000;
const char kEntry[] = "/usr/share/applications/ferryd_launcher_com_bench_system-com_bench_system_Main.desktop";

struct Program
{
    const char *name;
    const char *unit;
    bool user;
};
const Program kPrograms[] = {
    {"ferryd", "ferryd.service", false},
    {"ferryd-bridge", "ferryd-bridge.service", true},
    {"ferryd-bridge-user", "ferryd-bridge-user.service", true},
    {"novumaudioservice", "novumaudioservice.service", true},
};

long rssKib(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (pid <= 0 || !status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

bool fail(const char *what)
{
    std::fprintf(stderr, "system_startup: %s\n", what);
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    SystemGuest guest;
    if (!guest.problem().isEmpty()) {
        std::fprintf(stderr, "system_startup: %s\n", qPrintable(guest.problem()));
        return 1;
    }
    QDBusConnectionInterface *bus = QDBusConnection::systemBus().interface();
    const QString name = QStringLiteral("com.kestrel.ferryd");

    // The daemon from nothing to its name.
    SystemGuest::run({"systemctl", "stop", "ferryd.service"});
    QElapsedTimer timer;
    timer.start();
    if (SystemGuest::run({"systemctl", "start", "--no-block", "ferryd.service"}).status != 0 ||
        !SystemGuest::waitFor([&] { return bus->isServiceRegistered(name).value(); }, kTimeoutMs))
        return fail("ferryd did not take its name"), 1;
    std::printf("ferryd_name_ms=%.0f\n", timer.nsecsElapsed() / 1e6);

    // The runtime from "active" to every program's services registered.
    std::vector<double> registered;
    for (int i = 0; i < 3; ++i) {
        SystemGuest::run({"systemctl", "stop", "rididirevov.service"});
        if (SystemGuest::run({"systemctl", "start", "rididirevov.service"}, kTimeoutMs).status != 0)
            return fail("rididirevov.service did not start"), 1;
        timer.restart();
        if (!SystemGuest::waitFor([&] { return guest.missingRegistrations().isEmpty(); }, kTimeoutMs)) {
            std::fprintf(stderr, "system_startup: not registered: %s\n",
                         qPrintable(guest.missingRegistrations().join(", ")));
            return 1;
        }
        registered.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("runtime_to_registered_ms=%.0f\n", median(registered));
    std::printf("runtime_to_registered_max_ms=%.0f\n", *std::max_element(registered.begin(), registered.end()));

    std::vector<long> before;
    for (const Program &p : kPrograms)
        before.push_back(rssKib(guest.mainPid(p.unit, p.user)));

    const QString apk = guest.home() + "/com.bench.system-1.apk";
    const QJsonObject description{
        {"package", "com.bench.system"}, {"version", "1"},
        {"activities", QJsonArray{QJsonObject{{"class", "com.bench.system.Main"}, {"label", "Bench"}}}}};
    guest.asUser({"sh", "-c", "cat >" + apk + " <<'EOF'\n" + QJsonDocument(description).toJson() + "EOF"});
    std::vector<double> cycleMs;
    for (int i = 0; i < cycles; ++i) {
        timer.restart();
        if (guest.asUser({FERRY_INSTALLED_BINDIR "/ferry", "install", apk}).status != 0 ||
            !SystemGuest::waitFor([] { return QFile::exists(kEntry); }, kTimeoutMs))
            return fail("install did not complete"), 1;
        if (guest.asUser({FERRY_INSTALLED_BINDIR "/ferry", "remove", "com.bench.system"}).status != 0 ||
            !SystemGuest::waitFor([] { return !QFile::exists(kEntry); }, kTimeoutMs))
            return fail("removal did not complete"), 1;
        cycleMs.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::printf("cycles=%d\n", cycles);
    std::printf("cycle_ms=%.0f\n", median(cycleMs));
    for (size_t i = 0; i < std::size(kPrograms); ++i) {
        const long after = rssKib(guest.mainPid(kPrograms[i].unit, kPrograms[i].user));
        std::printf("rss_start_kib_%s=%ld\n", kPrograms[i].name, before[i]);
        std::printf("rss_after_kib_%s=%ld\n", kPrograms[i].name, after);
        std::printf("rss_growth_pct_%s=%.1f\n", kPrograms[i].name,
                    before[i] > 0 && after > 0 ? 100.0 * (after - before[i]) / before[i] : -1.0);
    }
    return 0;
}
