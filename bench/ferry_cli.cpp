// ferry_cli: what a script pays per ferry invocation. Runs the real program:
//   - help_ms: `ferry --help` (process start, Qt start-up, no bus),
//   - apps_ms: `ferry apps --json` over 1000 launcher entries of 1 KiB,
//   - refused_args_ms: an invalid package name, refused before the bus.
// Each is the median of 21 runs. Prints name=value lines.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const int kRuns = 21;
const int kEntries = 1000;

double medianMs(const QStringList &args, const QProcessEnvironment &env, int expectedStatus)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QProcess p;
        p.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        p.start(FERRY_BIN, args);
        if (!p.waitForFinished(60000) || p.exitCode() != expectedStatus) {
            std::fprintf(stderr, "ferry %s failed\n", qPrintable(args.join(' ')));
            return -1;
        }
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QByteArray padding(900, 'x');
    for (int i = 0; i < kEntries; ++i) {
        QFile f(dir.filePath(QString("ferryd_launcher_com_bench_app%1-Main.desktop").arg(i)));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(QString("[Desktop Entry]\nType=Application\nName=Bench %1\nX-ferryd-packageName=com.bench.app%1\n"
                        "Comment=").arg(i).toUtf8() + padding + "\n");
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FERRYD_APPLICATIONS_DIR", dir.path());
    std::printf("help_ms=%.1f\n", medianMs({"--help"}, env, 0));
    std::printf("apps_ms=%.1f\n", medianMs({"apps", "--json"}, env, 0));
    std::printf("refused_args_ms=%.1f\n", medianMs({"launch", "not a package"}, env, 1));
    std::printf("entries=%d\n", kEntries);
    return 0;
}
