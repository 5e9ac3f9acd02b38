#include "notificationstep.h"

#include "ferrydworld.h"
#include "runtimesimclient.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

const QString kKey = QStringLiteral("0|com.example.demo|1|null|10123");

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

QString shown(const QVariant &value)
{
    // Urgency travels as a byte.
    if (value.userType() == QMetaType::UChar)
        return QString::number(value.toUInt());
    return value.toString();
}

} // namespace

int showNotificationThroughBridge(FerrydWorld &world, const RuntimeSimClient &sim, const QString &dir,
                                  const std::function<void(const QString &)> &say)
{
    const qint64 bridge = world.world().startProcess(
        QStringLiteral(FERRY_BRIDGE_BIN), {},
        {QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + world.sessionBusAddress(),
         QStringLiteral("XDG_CACHE_HOME=") + dir + QStringLiteral("/cache")});
    if (!bridge)
        return fail(say, QStringLiteral("ferryd-bridge did not start"));
    say(QStringLiteral("started ferryd-bridge (pid %1) on the user's session bus").arg(bridge));
    const bool registered = TestWorld::waitFor([&] {
        return sim.command({{"cmd", "list"}}).value(QStringLiteral("names")).toArray().contains("novum.notification");
    }, 20000);
    if (!registered)
        return fail(say, QStringLiteral("novum.notification never appeared on /dev/vororoveredi"));
    say(QStringLiteral("the runtime's service manager lists novum.notification"));

    if (sim.command({{"cmd", "notify"}, {"op", "register"}}).value(QStringLiteral("status")).toInt(-1) != 0)
        return fail(say, QStringLiteral("the runtime could not register its notification callback"));
    const QJsonObject record{{"key", kKey}, {"appName", "Demo"}, {"title", "Anna"}, {"text", "Lunch at noon?"},
                             {"color", double(0xff1e88e5)}, {"package", "com.example.demo"},
                             {"vibrate", true}, {"importance", 4}, {"number", 2}, {"category", "msg"},
                             {"channel", "messages"}, {"postTime", 1765200000000.0},
                             {"actions", QJsonArray{"Reply"}}};
    const int before = world.notificationsPublished().size();
    if (sim.command({{"cmd", "notify"}, {"op", "post"}, {"record", record}}).value(QStringLiteral("status")).toInt(-1)
        != 0)
        return fail(say, QStringLiteral("posting the notification failed"));
    say(QStringLiteral("the runtime registered its callback and posted notification %1 of com.example.demo").arg(kKey));
    if (!world.waitForNotifications(before + 1))
        return fail(say, QStringLiteral("the notification never reached the notification server"));
    const FakeNotificationServer::Entry e = world.notificationsPublished().at(before);
    say(QStringLiteral("the notification server shows #%1 \"%2: %3\" from \"%4\", actions [%5]")
            .arg(e.id).arg(e.summary, e.body, e.appName, e.actions.join(QStringLiteral(", "))));
    QStringList hints = e.hints.keys();
    hints.removeAll(QStringLiteral("image-data"));
    for (const QString &hint : qAsConst(hints))
        say(QStringLiteral("  hint %1 = %2").arg(hint, shown(e.hints.value(hint))));

    world.notificationServer()->invokeAction(e.id, QStringLiteral("Reply"));
    say(QStringLiteral("the user picks \"Reply\" on notification #%1").arg(e.id));
    QJsonArray received;
    TestWorld::waitFor([&] {
        for (const QJsonObject &line : sim.transactions(QStringLiteral("notification-callback"), 1))
            received = line.value(QStringLiteral("args")).toArray();
        return !received.isEmpty();
    }, 10000);
    if (received.size() != 2)
        return fail(say, QStringLiteral("Android's callback received no action"));
    say(QStringLiteral("Android's notification callback received action \"%1\" for %2")
            .arg(received.at(1).toString(), received.at(0).toString()));

    if (!world.world().stopProcess(bridge, 5000))
        return fail(say, QStringLiteral("ferryd-bridge did not stop"));
    const bool closed = TestWorld::waitFor([&] {
        bool live = false;
        QMetaObject::invokeMethod(world.notificationServer(),
                                  [&] { live = world.notificationServer()->live.contains(e.id); },
                                  Qt::BlockingQueuedConnection);
        return !live;
    }, 10000);
    if (!closed)
        return fail(say, QStringLiteral("notification #%1 outlived ferryd-bridge").arg(e.id));
    say(QStringLiteral("stopped ferryd-bridge (SIGTERM): notification #%1 is closed on the host").arg(e.id));
    return 0;
}
