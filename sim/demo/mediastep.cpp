#include "mediastep.h"

#include "runtimesimclient.h"
#include "testworld.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>

namespace {

const QString kService = QStringLiteral("novum.media.control");

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

// A test code of the simulated media session; the listener call's status.
int send(const RuntimeSimClient &sim, int code, const QJsonArray &args)
{
    const QJsonObject answer = sim.command({{"cmd", "call"}, {"service", kService}, {"code", code}, {"args", args}});
    const QJsonArray ints = answer.value(QStringLiteral("ints")).toArray();
    return answer.value(QStringLiteral("status")).toInt(-1) == 0 && ints.size() > 1 ? ints.at(1).toInt() : -1;
}

QString playerctl(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("playerctl"), QStringList{QStringLiteral("--player=novum")} + arguments);
    if (!p.waitForFinished(10000))
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

int showMediaSessionThroughBridge(const RuntimeSimClient &sim, const std::function<void(const QString &)> &say)
{
    if (!TestWorld::waitFor([&] { return !sim.transactions(kService, 1).isEmpty(); }, 20000))
        return fail(say, QStringLiteral("the bridge never set its listener on novum.media.control"));
    const auto s16 = [](const QString &v) { return QJsonObject{{"s16", v}}; };
    const auto i32 = [](int v) { return QJsonObject{{"i32", v}}; };
    const auto i64 = [](qint64 v) { return QJsonObject{{"i64", v}}; };
    const bool reported = send(sim, 0x5eed0001, {i32(0)}) == 0
        && send(sim, 0x5eed0003, {i32(2 | 4 | 16 | 32 | 256)}) == 0
        && send(sim, 0x5eed0004, {s16("Demo Artist"), s16("Demo Song"), s16("Demo Album"), i64(180000), i64(42000),
                                  i64(3), s16("Pop"), s16("Demo Band"), s16(""), s16("")}) == 0
        && send(sim, 0x5eed0002, {i32(3), i32(0), i32(0)}) == 0;
    if (!reported)
        return fail(say, QStringLiteral("the bridge did not take the media session's reports"));
    say(QStringLiteral("the runtime reported a playing media session"));

    const QString shown = playerctl({QStringLiteral("metadata"), QStringLiteral("--format"),
                                     QStringLiteral("{{status}}: {{artist}} - {{title}} ({{album}}, {{duration(mpris:length)}})")});
    if (!shown.startsWith(QLatin1String("Playing: Demo Artist - Demo Song")))
        return fail(say, QStringLiteral("playerctl shows \"%1\"").arg(shown));
    say(QStringLiteral("playerctl shows the MPRIS player \"novum\": %1").arg(shown));

    playerctl({QStringLiteral("pause")});
    QJsonObject pause;
    TestWorld::waitFor([&] {
        const QList<QJsonObject> lines = sim.transactions(kService, 3);
        if (!lines.isEmpty())
            pause = lines.last();
        return !pause.isEmpty();
    }, 10000);
    if (pause.isEmpty())
        return fail(say, QStringLiteral("the runtime received no pause request"));
    say(QStringLiteral("playerctl pause reached the runtime's media session as code 3 (pause)"));
    send(sim, 0x5eed0001, {i32(1)});
    return 0;
}
