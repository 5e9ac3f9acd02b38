#include "sensorstep.h"

#include "runtimesimclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

namespace {

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

QJsonArray runSteps(const RuntimeSimClient &sim, const QJsonArray &steps)
{
    return sim.command({{"cmd", "sensors"}, {"steps", steps}}).value(QStringLiteral("results")).toArray();
}

} // namespace

int showAccelerometerThroughBridge(const RuntimeSimClient &sim, const QString &socketPath,
                                   const std::function<void(const QString &)> &say)
{
    const QJsonArray started = runSteps(sim, {QJsonObject{{"op", "batch"}, {"handle", 1}, {"periodNs", 20000000}},
                                              QJsonObject{{"op", "activate"}, {"handle", 1}}});
    if (started.size() != 2 || started[1].toObject().value(QStringLiteral("reply")).toInt(-1) != 0)
        return fail(say, QStringLiteral("the runtime could not activate the bridge's accelerometer"));
    say(QStringLiteral("the runtime activated the accelerometer of the bridge's sensors HAL at 50 Hz"));

    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000))
        return fail(say, QStringLiteral("no test sensors plug-in"));
    socket.write(QJsonDocument(QJsonObject{{"type", "QAccelerometer"}, {"x", 0.25}, {"y", 9.75}, {"z", 0.5}})
                     .toJson(QJsonDocument::Compact)
                 + '\n');
    if (!socket.waitForBytesWritten(5000) || !socket.waitForReadyRead(10000) || socket.readLine() != "ok 1\n")
        return fail(say, QStringLiteral("the test sensors plug-in did not emit the reading"));

    const QJsonArray polled = runSteps(sim, {QJsonObject{{"op", "poll"}, {"maxCount", 16}},
                                             QJsonObject{{"op", "activate"}, {"handle", 1}, {"enabled", false}}});
    const QJsonArray events = polled.at(0).toObject().value(QStringLiteral("events")).toArray();
    if (events.size() != 1)
        return fail(say, QStringLiteral("the runtime's poll brought %1 events instead of one").arg(events.size()));
    const QJsonObject event = events[0].toObject();
    const QJsonArray values = event.value(QStringLiteral("values")).toArray();
    say(QStringLiteral("the runtime polled one accelerometer event: handle %1, x %2, y %3, z %4 m/s², status %5, "
                       "timestamp %6 ns")
            .arg(event.value(QStringLiteral("handle")).toInt())
            .arg(values.at(0).toDouble())
            .arg(values.at(1).toDouble())
            .arg(values.at(2).toDouble())
            .arg(event.value(QStringLiteral("status")).toInt())
            .arg(qint64(event.value(QStringLiteral("timestamp")).toDouble())));
    return 0;
}
