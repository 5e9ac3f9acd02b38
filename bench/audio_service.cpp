// The whole playback path: the simulated Android audio HAL writes 48 kHz
// stereo through binder calls into novumaudioservice's shared buffer, the
// service plays it through the audio core into a private PulseAudio null
// sink. 2 s warm-up (the server's buffer fills), then 10 s measured.
// Prints name=value lines; run in the test guest:
//
//   tools/vm/run build/bench/audio_service
//
//   audio_service_wall_per_audio_s   wall seconds per second of audio over the
//                                    measured 10 s (real-time pacing: 1.00)
//   audio_service_cpu_per_audio_s    the service's CPU seconds (all threads)
//                                    per second of audio, warm-up included
//   audio_service_write_median_us    one write call (binder round trip with
//   audio_service_write_p99_us       the service's blocking write), median
//                                    and 99th percentile
#include "audioserviceworld.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kPeriodBytes = 3840;            // 20 ms
constexpr int kWarmupPeriods = 100;           // 2 s
constexpr int kMeasuredPeriods = 500;         // 10 s
constexpr double kMeasuredSeconds = 10.0;
constexpr double kAllSeconds = 12.0;

// utime + stime of a process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

QJsonObject op(const char *name, QJsonObject fields = {})
{
    fields.insert("op", name);
    return fields;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    AudioServiceWorld world;
    QString error;
    if (!world.start(&error, QStringLiteral("none"))) {
        std::fprintf(stderr, "audio_service: %s\n", qPrintable(error));
        return 1;
    }
    const qint64 pid = world.startService({});
    if (!pid) {
        std::fprintf(stderr, "audio_service: the service did not start\n%s", qPrintable(world.serviceLog()));
        return 1;
    }
    const double cpu0 = cpuSeconds(pid);
    const QList<QJsonObject> r = world.hal({
        op("open-output", {{"size", kPeriodBytes}, {"flags", 0x800000}}),
        op("write", {{"repeat", kWarmupPeriods}, {"tone", 440}}),
        op("write", {{"repeat", kMeasuredPeriods}, {"tone", 440}}),
        op("standby"),
        op("close"),
    });
    const double cpu1 = cpuSeconds(pid);
    if (r.size() != 5 || r[0].value("reply").toInt() != 0
        || r[2].value("replies").toArray() != QJsonArray{kPeriodBytes}) {
        std::fprintf(stderr, "audio_service: playback failed\n%s", qPrintable(world.serviceLog()));
        return 1;
    }
    const QJsonObject &measured = r[2];
    std::printf("audio_service_wall_per_audio_s=%.3f\n", measured.value("wallUs").toDouble() / 1e6 / kMeasuredSeconds);
    std::printf("audio_service_cpu_per_audio_s=%.4f\n", (cpu1 - cpu0) / kAllSeconds);
    std::printf("audio_service_write_median_us=%.0f\n", measured.value("medianUs").toDouble());
    std::printf("audio_service_write_p99_us=%.0f\n", measured.value("p99Us").toDouble());
    return world.stopService() == 0 ? 0 : 1;
}
