// The host's Wi-Fi through ferryd-bridge-user's Wi-Fi monitor: the connman
// stand-in switches its Wi-Fi service between "online" and "idle"; each
// switch reaches the simulated runtime's novum.connectivity as a
// registration or a withdrawal. Also the connman layer alone: a burst of
// property changes on the bus until a NetworkManager has seen the last
// (this part also runs natively).
//
//   wifi_monitor [count]      (the bridge part in the guest only)
//
// Prints one name=value per line.
#include "benchsupport.h"
#include "connmanstandinclient.h"
#include "networkmanager.h"
#include "simworld.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QString kService = QStringLiteral("novum.connectivity");

int fail(SimWorld &sim, const char *why)
{
    std::fprintf(stderr, "wifi_monitor: %s\n", why);
    sim.stop();
    return 1;
}

struct Figures
{
    double meanMs = 0;
    double maxMs = 0;
};

Figures figures(std::vector<double> ms)
{
    Figures f;
    if (ms.empty())
        return f;
    for (double v : ms)
        f.meanMs += v;
    f.meanMs /= double(ms.size());
    f.maxMs = *std::max_element(ms.begin(), ms.end());
    return f;
}

// The layer alone: property changes sent without waiting for answers,
// until a NetworkManager has seen the last.
bool measureLayer(int updates)
{
    ConnmanStandinClient connman(QDBusConnection::systemBus());
    if (!connman.addService(QStringLiteral("wifi_layer"), ConnmanStandinClient::wifi(QStringLiteral("Layer"),
                                                                                    QStringLiteral("idle"))))
        return false;
    NetworkManager manager;
    const QString path = ConnmanStandinClient::servicePath(QStringLiteral("wifi_layer"));
    if (!spinUntil([&] { return manager.service(path); }, 10000))
        return false;
    NetworkService *service = manager.service(path);
    QDBusConnection bus = QDBusConnection::systemBus();
    QElapsedTimer timer;
    timer.start();
    for (int i = 1; i <= updates; ++i) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("net.connman"), QStringLiteral("/com/kestrel/ferry/ConnmanStandin"),
            QStringLiteral("com.kestrel.ferry.ConnmanStandin"), QStringLiteral("SetProperty"));
        call << QStringLiteral("wifi_layer") << QStringLiteral("MaxRate")
             << QVariant::fromValue(QDBusVariant(QVariant::fromValue(quint32(i))));
        bus.send(call);
    }
    if (!spinUntil([&] { return service->maxRate() == quint32(updates); }, 120000))
        return false;
    std::printf("connman_property_updates=%d\n", updates);
    std::printf("connman_property_updates_per_s=%.0f\n", updates / (timer.nsecsElapsed() / 1e9));
    return connman.removeService(QStringLiteral("wifi_layer"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? qBound(1, QByteArray(argv[1]).toInt(), 10000) : 50;
    SimWorld sim;
    QString error;
    if (!sim.start(&error))
        return fail(sim, qPrintable(error));
    sim.setStartServices(kService);
    if (!sim.world.startProcess(QStringLiteral(FERRY_CONNMAN_STANDIN_BIN), {}, {}, QStringLiteral("ready")))
        return fail(sim, "the connman stand-in did not start");
    if (!measureLayer(count * 100))
        return fail(sim, "the layer did not see every update");
    if (!QFile::exists(QStringLiteral("/dev/vororoveredi"))) {
        std::printf("wifi_switches=0 (no binder device: run it in the guest)\n");
        sim.stop();
        return 0;
    }
    const qint64 bridge = sim.world.startProcess(QStringLiteral(FERRY_BRIDGE_USER_BIN), {}, {});
    if (!bridge || !sim.bringUp())
        return fail(sim, "the bridge or the runtime did not start");
    ConnmanStandinClient connman(QDBusConnection::systemBus());
    if (!connman.addService(QStringLiteral("wifi_bench"), ConnmanStandinClient::wifi(QStringLiteral("Bench"),
                                                                                     QStringLiteral("idle"))))
        return fail(sim, "the stand-in refused the service");

    std::vector<double> registerMs, unregisterMs;
    QElapsedTimer timer;
    // The first round waits for the bridge to reach novum.connectivity.
    for (int i = -1; i < count; ++i) {
        for (const bool online : {true, false}) {
            const int code = online ? 1 : 2;
            const int before = sim.received(kService).size();
            timer.start();
            connman.setProperty(QStringLiteral("wifi_bench"), QStringLiteral("State"),
                                online ? QStringLiteral("online") : QStringLiteral("idle"));
            const bool arrived = spinUntil([&] {
                const QList<QJsonObject> lines = sim.received(kService);
                return lines.size() > before && lines.last().value(QStringLiteral("code")).toInt() == code;
            }, 10000);
            if (!arrived)
                return fail(sim, "a switch never reached novum.connectivity");
            if (i >= 0)
                (online ? registerMs : unregisterMs).push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    const Figures reg = figures(registerMs), unreg = figures(unregisterMs);
    std::printf("wifi_switches=%d\n", count);
    std::printf("wifi_register_mean_ms=%.2f\n", reg.meanMs);
    std::printf("wifi_register_max_ms=%.2f\n", reg.maxMs);
    std::printf("wifi_unregister_mean_ms=%.2f\n", unreg.meanMs);
    std::printf("wifi_unregister_max_ms=%.2f\n", unreg.maxMs);

    sim.world.stopProcess(bridge, 5000);
    sim.stop();
    return 0;
}
