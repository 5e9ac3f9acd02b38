// Media session metadata through ferryd-bridge-user: the simulated
// runtime's media session sends metadata updates to the bridge's listener
// as fast as the bridge answers, each becoming the metadata of the MPRIS
// player "novum" on the session bus.
//
//   media_metadata [count]     (guest only: the simulator serves binder)
//
// Prints one name=value per line: updates per second, mean microseconds per
// update, and whether an MPRIS client reads the last one.
#include "simworld.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <cstdio>
#include <cstring>

namespace {

const QString kService = QStringLiteral("novum.media.control");

int fail(SimWorld &sim, const char *why)
{
    std::fprintf(stderr, "media_metadata: %s\n", why);
    sim.stop();
    return 1;
}

int send(SimWorld &sim, int code, const QJsonArray &args, qint64 *us = nullptr)
{
    const QJsonObject answer = sim.command({{"cmd", "call"}, {"service", kService}, {"code", code}, {"args", args}}, 120000);
    const QByteArray hex = QByteArray::fromHex(answer.value(QStringLiteral("hex")).toString().toLatin1());
    const QJsonArray ints = answer.value(QStringLiteral("ints")).toArray();
    if (us && hex.size() >= 16)
        memcpy(us, hex.constData() + 8, sizeof *us);
    return answer.value(QStringLiteral("status")).toInt(-1) == 0 && ints.size() > 1 ? ints.at(1).toInt() : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? qBound(1, QByteArray(argv[1]).toInt(), 1000000) : 2000;
    SimWorld sim;
    QString error;
    if (!sim.start(&error))
        return fail(sim, qPrintable(error));
    sim.setStartServices(kService);
    const QString cache = sim.world.tempDir() + QStringLiteral("/cache");
    const qint64 bridge = sim.world.startProcess(QStringLiteral(FERRY_BRIDGE_USER_BIN), {},
                                                 {QStringLiteral("XDG_CACHE_HOME=") + cache});
    if (!bridge || !sim.bringUp())
        return fail(sim, "the bridge or the runtime did not start");
    if (!TestWorld::waitFor([&] { return !sim.received(kService).isEmpty(); }, 20000))
        return fail(sim, "the bridge never set its listener");

    const auto s16 = [](const QString &v) { return QJsonObject{{"s16", v}}; };
    const auto i64 = [](qint64 v) { return QJsonObject{{"i64", v}}; };
    if (send(sim, 0x5eed0001, {QJsonObject{{"i32", 0}}}) != 0)
        return fail(sim, "the bridge did not take the client");
    qint64 us = 0;
    const int status = send(sim, 0x5eed0005,
                            {QJsonObject{{"i32", count}}, s16("Artist"), s16("Title"), s16("Album"), i64(200000),
                             i64(1000), i64(1), s16("Genre"), s16("Band"), s16(""), s16("")},
                            &us);
    if (status != 0 || us <= 0)
        return fail(sim, "the updates were not all taken");

    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.mpris.MediaPlayer2.novum"),
                                                      QStringLiteral("/org/mpris/MediaPlayer2"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("Metadata");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 10000);
    const QVariantMap metadata = qdbus_cast<QVariantMap>(
        reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>());
    const bool last = metadata.value(QStringLiteral("xesam:title")).toString()
        == QStringLiteral("Title #%1").arg(count - 1);

    std::printf("media_updates=%d\n", count);
    std::printf("media_updates_per_s=%.0f\n", count * 1e6 / double(us));
    std::printf("media_update_mean_us=%.1f\n", double(us) / count);
    std::printf("media_last_update_seen_by_mpris_client=%d\n", last ? 1 : 0);
    sim.world.stopProcess(bridge, 5000);
    sim.stop();
    return last ? 0 : 1;
}
