// Sensor events through ferryd-bridge-user: the test sensors backend
// produces accelerometer readings as fast as the bridge's event loop lets
// it, while the simulator's sensors client polls the bridge's HAL as
// Android's sensor service does (a new poll for up to 16 events as soon as
// the last reply is in; polls that find nothing are held).
//
//   sensor_events [seconds]     (guest only: it serves /dev/hwvororoveredi)
//
// Prints one name=value per line: events delivered per second, readings
// produced per second, and the median and 99th percentile delay from a
// reading's timestamp to the poll reply that carries it.

#include "benchsupport.h"

#include <ferry/binder/service_manager.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

using namespace ferry::binder;

namespace {

const char kDevice[] = "/dev/hwvororoveredi";
const char kSensors[] = "android.hardware.sensors@1.0::ISensors/default_novum";

int fail(const char *why)
{
    std::fprintf(stderr, "sensor_events: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? qBound(1.0, QByteArray(argv[1]).toDouble(), 600.0) : 10.0;
    QTemporaryDir dir;
    QProcess manager;
    manager.start(QStringLiteral(FERRY_SERVICEMANAGER_BIN), {QString::fromLatin1(kDevice), QStringLiteral("hidl")});
    if (!manager.waitForReadyRead(10000))
        return fail("no service manager");

    const QString socketPath = dir.path() + QStringLiteral("/sensor.sock");
    QProcess bridge;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(FERRY_TEST_PLUGIN_DIR));
    env.insert(QStringLiteral("FERRY_TEST_SENSOR_SOCKET"), socketPath);
    env.insert(QStringLiteral("FERRY_TEST_SENSOR_TYPES"), QStringLiteral("QAccelerometer"));
    bridge.setProcessEnvironment(env);
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(QStringLiteral(FERRY_BRIDGE_USER_BIN), QStringList());

    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kDevice, Protocol::Hidl);
    if (!sm || !spinUntil([&] { return bool(sm->getServiceSync(kSensors)); }, 20000))
        return fail("the bridge's sensors HAL never registered");

    // The backend streams a little longer than the client polls, so that
    // the client's last (held) poll is answered.
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000))
        return fail("no test sensors plug-in");
    socket.write(QJsonDocument(QJsonObject{{"type", "QAccelerometer"}, {"stream", seconds + 2}}).toJson(QJsonDocument::Compact)
                 + '\n');
    socket.flush();

    const QJsonArray steps{QJsonObject{{"op", "batch"}, {"handle", 1}, {"periodNs", 1000000}},
                           QJsonObject{{"op", "activate"}, {"handle", 1}},
                           QJsonObject{{"op", "poll-loop"}, {"maxCount", 16}, {"seconds", seconds}},
                           QJsonObject{{"op", "activate"}, {"handle", 1}, {"enabled", false}}};
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(QStringLiteral(FERRY_RUNTIME_SIM_BIN),
                 {QStringLiteral("--sensors"), QString::fromUtf8(QJsonDocument(QJsonObject{{"steps", steps}}).toJson(QJsonDocument::Compact)),
                  QStringLiteral("--parent-pid"), QString::number(QCoreApplication::applicationPid())});
    if (!spinUntil([&] { return client.state() == QProcess::NotRunning; }, int(seconds * 1000) + 30000))
        return fail("the sensors client did not finish");
    const QJsonArray results = QJsonDocument::fromJson(client.readAllStandardOutput().trimmed().split('\n').last())
                                   .object()
                                   .value(QStringLiteral("results"))
                                   .toArray();
    const QJsonObject loop = results.at(2).toObject();
    if (results.size() != 4 || results.at(1).toObject().value(QStringLiteral("reply")).toInt(-1) != 0
        || loop.value(QStringLiteral("events")).toInt() == 0)
        return fail("no events were delivered");
    if (!spinUntil([&] { return socket.canReadLine(); }, 10000))
        return fail("the backend's stream did not end");
    const long long produced = socket.readLine().trimmed().mid(3).toLongLong();

    std::printf("sensor_events_per_s=%.0f\n", loop.value(QStringLiteral("eventsPerSecond")).toDouble());
    std::printf("sensor_readings_per_s=%.0f\n", double(produced) / (seconds + 2));
    std::printf("sensor_polls=%d\n", loop.value(QStringLiteral("polls")).toInt());
    std::printf("sensor_delay_median_us=%.0f\n", loop.value(QStringLiteral("medianDelayUs")).toDouble());
    std::printf("sensor_delay_p99_us=%.0f\n", loop.value(QStringLiteral("p99DelayUs")).toDouble());

    bridge.terminate();
    bridge.waitForFinished(5000);
    manager.terminate();
    manager.waitForFinished(5000);
    return 0;
}
