// Notifications through ferryd-bridge: the simulated runtime posts them to
// "novum.notification", the bridge shows them at the recording
// notification server.
//
//   notifications           (guest only: the runtime simulator needs binder)
//
// Posts 2000 notifications with distinct keys, one after the other, each a
// two-way call that returns once the bridge has handed it to the server.
// Prints one name=value per line: posts per second that reached the server
// over the whole run (past 500 live notifications each post also closes the
// oldest), and the median and 99th percentile time of one post.
#include "notificationworld.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr int kPosts = 2000;
constexpr int kWarmUp = 50;

int fail(const QString &why)
{
    std::fprintf(stderr, "notifications: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    NotificationWorld world;
    QString error;
    if (!world.start(&error))
        return fail(error);
    world.setDebug(false);
    if (!world.startBridge() || !world.sim.bringUp() || !world.waitServiceRegistered())
        return fail(QStringLiteral("the bridge did not serve"));
    if (world.registerCallback().value(QStringLiteral("status")).toInt(-1) != 0)
        return fail(QStringLiteral("no callback"));

    const QJsonObject record{{"appName", "Chat"}, {"title", "Anna"}, {"text", "See you at 5?"},
                             {"color", double(0xff3366cc)}, {"package", "com.example.chat"},
                             {"vibrate", true}, {"importance", 3}, {"category", "msg"},
                             {"channel", "dm"}, {"postTime", 1700000000000.0},
                             {"actions", QJsonArray{"Reply"}}};
    QJsonObject warm = record;
    warm.insert(QStringLiteral("key"), QStringLiteral("warm"));
    world.notify({{"op", "post-many"}, {"record", warm}, {"count", kWarmUp}});

    const int before = world.published().size();
    QJsonObject run = record;
    run.insert(QStringLiteral("key"), QStringLiteral("bench"));
    const QJsonObject answer = world.sim.command(
        {{"cmd", "notify"}, {"op", "post-many"}, {"record", run}, {"count", kPosts}}, 600000);
    if (answer.value(QStringLiteral("status")).toInt(-1) != 0)
        return fail(QStringLiteral("posting failed: ") + QString::fromUtf8(QJsonDocument(answer).toJson()));
    const int reached = world.published().size() - before;
    if (reached != kPosts)
        return fail(QStringLiteral("%1 of %2 posts reached the server").arg(reached).arg(kPosts));
    const double wallS = answer.value(QStringLiteral("wallUs")).toDouble() / 1e6;
    std::printf("notification_posts=%d\n", kPosts);
    std::printf("notification_posts_per_s=%.0f\n", kPosts / wallS);
    std::printf("notification_post_to_server_median_us=%d\n", answer.value(QStringLiteral("medianUs")).toInt());
    std::printf("notification_post_to_server_p99_us=%d\n", answer.value(QStringLiteral("p99Us")).toInt());
    world.stop();
    return 0;
}
