// File changes through ferryd-bridge-user's file observer: a real Tracker
// endpoint under the file miner's name stores SPARQL updates and sends its
// change notices; the bridge turns each into a one-way scan request to the
// simulated runtime's media scanner. Times are end to end, from the update
// being sent to the scanner having logged the request, so they include
// Tracker's own work (storing, notifying, the notifier's URN query).
//
//   file_observer [burst] [singles]     (guest only: the simulator serves binder)
//
// Prints one name=value per line: one update of `burst` files (scan
// requests per second, total ms) and `singles` one-file updates one after
// another (median and worst ms from update to scan request, and the
// median of the update call alone).
#include "fileindex.h"
#include "simworld.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

namespace {

const QString kService = QStringLiteral("novum.media.file_observer");
const QString kHome = QStringLiteral("file:///home/bench");

int fail(SimWorld &sim, const char *why)
{
    std::fprintf(stderr, "file_observer: %s\n", why);
    sim.stop();
    return 1;
}

// Scan requests the simulated scanner logged so far, read as the log
// grows (parsing the whole log at every look would be what is measured).
class ScanLog
{
public:
    explicit ScanLog(const QString &path) : m_file(path) {}

    int count()
    {
        if (!m_file.isOpen() && !m_file.open(QIODevice::ReadOnly))
            return 0;
        m_pending += m_file.readAll();
        for (int end; (end = m_pending.indexOf('\n')) >= 0; m_pending.remove(0, end + 1)) {
            const QJsonObject line = QJsonDocument::fromJson(m_pending.left(end)).object();
            if (line.value(QStringLiteral("service")).toString() == kService && line.contains(QStringLiteral("code"))) {
                m_last = line.value(QStringLiteral("args")).toArray().at(0).toString();
                ++m_count;
            }
        }
        return m_count;
    }
    QString last()
    {
        count();
        return m_last;
    }

private:
    QFile m_file;
    QByteArray m_pending;
    int m_count = 0;
    QString m_last;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int burst = argc > 1 ? qBound(1, QByteArray(argv[1]).toInt(), 100000) : 1000;
    const int singles = argc > 2 ? qBound(1, QByteArray(argv[2]).toInt(), 10000) : 20;
    SimWorld sim;
    FileIndex index;
    QString error;
    if (!sim.start(&error))
        return fail(sim, qPrintable(error));
    sim.setStartServices(kService);
    if (!index.start(sim.world, sim.world.tempDir() + QStringLiteral("/index")) || !sim.bringUp()
        || !index.ready(&error))
        return fail(sim, "Tracker or the runtime did not start");
    const qint64 bridge = sim.world.startProcess(QStringLiteral(FERRY_BRIDGE_USER_BIN), {});
    ScanLog log(sim.logPath());
    const auto scans = [&](const SimWorld &) { return log.count(); };
    if (!bridge)
        return fail(sim, "the bridge did not start");
    // Until the bridge has connected and subscribed, files go unnoticed;
    // the notices come in order, so once the last warm-up file is in,
    // nothing earlier is left to come.
    int warmup = 0;
    while (scans(sim) == 0 && warmup < 100) {
        index.update(FileIndex::insertFile(kHome + QStringLiteral("/warmup-%1").arg(warmup++)));
        TestWorld::waitFor([&] { return scans(sim) > 0; }, 300);
    }
    const QString last = QStringLiteral("/warmup-%1").arg(warmup - 1);
    if (!TestWorld::waitFor([&] { return log.last().endsWith(last); }, 20000))
        return fail(sim, "the bridge never asked the scanner");

    QString update = QStringLiteral("INSERT DATA { GRAPH tracker:FileSystem {");
    for (int i = 0; i < burst; ++i)
        update += QStringLiteral(" <%1/Music/track%2.mp3> a nfo:FileDataObject .").arg(kHome).arg(i);
    update += QStringLiteral(" } }");
    const int before = scans(sim);
    QElapsedTimer timer;
    timer.start();
    if (!index.update(update, &error))
        return fail(sim, qPrintable(error));
    const bool all = TestWorld::waitFor([&] { return scans(sim) >= before + burst; }, 120000);
    const double burstMs = timer.nsecsElapsed() / 1e6;
    if (!all)
        return fail(sim, "not every file of the burst reached the scanner");

    std::vector<double> latencies, stored;
    for (int i = 0; i < singles; ++i) {
        const int n = scans(sim);
        timer.restart();
        index.update(FileIndex::insertFile(kHome + QStringLiteral("/Pictures/p%1.jpg").arg(i)));
        stored.push_back(timer.nsecsElapsed() / 1e6);
        if (!TestWorld::waitFor([&] { return scans(sim) > n; }, 10000))
            return fail(sim, "a single file did not reach the scanner");
        latencies.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    std::sort(stored.begin(), stored.end());

    std::printf("file_observer_burst_files=%d\n", burst);
    std::printf("file_observer_burst_ms=%.1f\n", burstMs);
    std::printf("file_observer_burst_scans_per_s=%.0f\n", burst * 1000.0 / burstMs);
    std::printf("file_observer_single_updates=%d\n", singles);
    std::printf("file_observer_single_median_ms=%.2f\n", latencies[latencies.size() / 2]);
    std::printf("file_observer_single_max_ms=%.2f\n", latencies.back());
    // Of which Tracker storing the update (its answer to the update call).
    std::printf("file_observer_single_update_median_ms=%.2f\n", stored[stored.size() / 2]);
    sim.world.stopProcess(bridge, 5000);
    sim.stop();
    return 0;
}
