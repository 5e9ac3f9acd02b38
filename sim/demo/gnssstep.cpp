#include "gnssstep.h"

#include "filestep.h"
#include "mediastep.h"
#include "runtimesimclient.h"
#include "sensorstep.h"
#include "testworld.h"
#include "wifistep.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>

namespace {

const QString kGnss = QStringLiteral("android.hardware.gnss@2.1::IGnss/default_novum");
const int kSetCallback21 = 34;
const int kStart = 2;
const int kLocation20 = 13;

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

bool feedPosition(const QString &socketPath, const QJsonObject &position)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000))
        return false;
    socket.write(QJsonDocument(QJsonObject{{"position", position}}).toJson(QJsonDocument::Compact) + '\n');
    return socket.waitForBytesWritten(5000) && socket.waitForReadyRead(10000) && socket.readLine() == "ok\n";
}

} // namespace

int showGnssThroughBridge(TestWorld &world, const RuntimeSimClient &sim, const QString &dir, FileIndex &fileIndex,
                          const std::function<void(const QString &)> &say)
{
    if (waitForFileIndex(fileIndex, say) != 0)
        return 1;
    const QString socketPath = dir + QStringLiteral("/position.sock");
    const qint64 bridge = world.startProcess(QStringLiteral(FERRY_BRIDGE_USER_BIN), {},
                                             {QStringLiteral("QT_PLUGIN_PATH=" FERRY_TEST_PLUGIN_DIR),
                                              QStringLiteral("FERRY_TEST_POSITION_SOCKET=") + socketPath,
                                              QStringLiteral("FERRY_TEST_SENSOR_SOCKET=") + dir + QStringLiteral("/sensor.sock")});
    if (!bridge)
        return fail(say, QStringLiteral("ferryd-bridge-user did not start"));
    say(QStringLiteral("started ferryd-bridge-user (pid %1) with test positioning and sensors plug-ins as the "
                       "host's GNSS and sensors")
            .arg(bridge));
    const bool registered = TestWorld::waitFor([&] {
        const QJsonObject answer = sim.command({{"cmd", "list"}, {"device", "/dev/hwvororoveredi"}});
        return answer.value(QStringLiteral("names")).toArray().contains(kGnss);
    }, 20000);
    if (!registered)
        return fail(say, QStringLiteral("the bridge's GNSS HAL never appeared on /dev/hwvororoveredi"));
    say(QStringLiteral("the runtime's HAL service manager lists %1").arg(kGnss));

    const QJsonObject callback{{"binder", QJsonObject{{"interface", "android.hardware.gnss@2.1::IGnssCallback"},
                                                      {"name", "demo-gnss"}}}};
    for (const QJsonObject &call : {QJsonObject{{"code", kSetCallback21}, {"args", QJsonArray{callback}}},
                                    QJsonObject{{"code", kStart}}}) {
        QJsonObject command = call;
        command.insert("cmd", "call");
        command.insert("device", "/dev/hwvororoveredi");
        command.insert("service", kGnss);
        command.insert("interface", "android.hardware.gnss@2.1::IGnss");
        if (sim.command(command).value(QStringLiteral("status")).toInt(-1) != 0)
            return fail(say, QStringLiteral("IGnss code %1 failed").arg(call.value("code").toInt()));
    }
    say(QStringLiteral("the runtime set a GNSS 2.1 callback and started the HAL"));

    if (!feedPosition(socketPath, {{"lat", 60.1699}, {"lon", 24.9384}, {"alt", 12.5}, {"speed", 1.5},
                                   {"hacc", 4}, {"time", 1765200000000.0}}))
        return fail(say, QStringLiteral("the test positioning plug-in did not take the position"));
    QJsonObject location;
    TestWorld::waitFor([&] {
        for (const QJsonObject &line : sim.transactions(QStringLiteral("demo-gnss"), kLocation20))
            location = line.value(QStringLiteral("location")).toObject();
        return !location.isEmpty();
    }, 10000);
    if (location.isEmpty())
        return fail(say, QStringLiteral("the runtime received no GNSS location"));
    say(QStringLiteral("the runtime received a GNSS location (%1 bytes): lat %2, lon %3, altitude %4 m, "
                       "speed %5 m/s, accuracy %6 m, flags 0x%7, time %8")
            .arg(location.value("size").toInt())
            .arg(location.value("lat").toDouble())
            .arg(location.value("lon").toDouble())
            .arg(location.value("alt").toDouble())
            .arg(location.value("speed").toDouble())
            .arg(location.value("hacc").toDouble())
            .arg(location.value("flags").toInt(), 0, 16)
            .arg(qint64(location.value("time").toDouble())));
    if (showAccelerometerThroughBridge(sim, dir + QStringLiteral("/sensor.sock"), say) != 0)
        return 1;
    if (showMediaSessionThroughBridge(sim, say) != 0)
        return 1;
    if (showFileChangeThroughBridge(fileIndex, sim, say) != 0)
        return 1;
    if (showWifiThroughBridge(world, sim, say) != 0)
        return 1;
    if (!world.stopProcess(bridge, 5000))
        return fail(say, QStringLiteral("ferryd-bridge-user did not stop"));
    return 0;
}
