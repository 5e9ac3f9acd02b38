// The demo's audio step: the simulated Android audio HAL plays a short tone
// through novumaudioservice into a private PulseAudio server, and the demo
// shows the stream PulseAudio had.
#include "audioserviceworld.h"

#include <QJsonArray>

#include <cstdio>

namespace {

const double kToneHz = 440;
const int kPeriods = 25;   // 0.5 s of 20 ms periods
const int kRingFlags = 0x400000;

void say(const QString &line)
{
    std::printf("demo: %s\n", qPrintable(line));
    std::fflush(stdout);
}

QJsonObject op(const char *name, QJsonObject fields = {})
{
    fields.insert("op", name);
    return fields;
}

} // namespace

int runAudioStep()
{
    AudioServiceWorld world;
    QString error;
    say(QStringLiteral("audio: starting a private PulseAudio server and the runtime simulator"));
    if (!world.start(&error, QStringLiteral("novum.audio.control"))) {
        say(QStringLiteral("FAILED: ") + error);
        return 1;
    }
    // The halcyon policy plugin tags the stream for the host's policy.
    const QStringList arguments{QStringLiteral("-p"), QStringLiteral("halcyon")};
    const qint64 pid = world.startService(arguments);
    if (!pid) {
        say(QStringLiteral("FAILED: novumaudioservice did not register: ") + world.serviceLog());
        return 1;
    }
    say(QStringLiteral("audio: novumaudioservice (pid %1) with the halcyon plugin registered NovumAudioService "
                       "on /dev/vndvororoveredi")
            .arg(pid));
    if (world.waitForLog(QStringLiteral("Listener for android.media.INovumAudioControlListener set")))
        say(QStringLiteral("audio: it connected to novum.audio.control and set its listener"));

    const QList<QJsonObject> played = world.hal({
        op("version", {{"version", 1}}),
        op("open-output", {{"size", 3840}, {"flags", kRingFlags}}),
        op("write", {{"repeat", kPeriods}, {"tone", kToneHz}}),
    });
    if (played.size() != 3 || played[1].value("reply").toInt() < 0
        || played[2].value("replies").toArray() != QJsonArray{3840}) {
        say(QStringLiteral("FAILED: the HAL could not play: ") + world.serviceLog());
        return 1;
    }
    const int slot = played[1].value("reply").toInt();
    say(QStringLiteral("audio: the HAL opened a ring tone output with a 3840-byte memfd (slot %1) and wrote %2 periods "
                       "of a %3 Hz tone in %4 ms")
            .arg(slot)
            .arg(played[2].value("calls").toInt())
            .arg(kToneHz)
            .arg(played[2].value("wallUs").toDouble() / 1000, 0, 'f', 0));
    const auto inputs = world.pulse().list("sink-inputs");
    for (const auto &input : inputs) {
        const auto value = [&input](const char *key) {
            const auto it = input.properties.find(key);
            return it == input.properties.end() ? QStringLiteral("(unset)") : QString::fromStdString(it->second);
        };
        say(QStringLiteral("audio: PulseAudio sink input #%1: application \"%2\", media.name \"%3\", "
                           "media.role \"%4\", volume key \"%5\", %6")
                .arg(input.index)
                .arg(value("application.name"), value("media.name"), value("media.role"),
                     value("module-stream-restore.id"),
                     input.corked ? QStringLiteral("corked") : QStringLiteral("playing")));
    }
    if (inputs.empty()) {
        say(QStringLiteral("FAILED: PulseAudio had no sink input"));
        return 1;
    }
    const QList<QJsonObject> closed = world.hal({op("standby", {{"slot", slot}}), op("close", {{"slot", slot}})});
    if (closed.size() != 2 || !world.pulse().list("sink-inputs").empty()) {
        say(QStringLiteral("FAILED: the stream did not go away at standby"));
        return 1;
    }
    say(QStringLiteral("audio: standby and close: the sink input is gone"));
    if (world.stopService() != 0) {
        say(QStringLiteral("FAILED: novumaudioservice did not stop cleanly"));
        return 1;
    }
    return 0;
}
