// The bridge's MPRIS player, driven from the simulated runtime's media
// session and from playerctl, a real MPRIS client, on the test's session bus.
#include "bridgeuserworld.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFileInfo>

#include <gtest/gtest.h>

// Readable failures.
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << l.join(QLatin1Char(' ')).toStdString();
}

namespace {

const QString kService = QStringLiteral("novum.media.control");
BridgeUserWorld *world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new BridgeUserWorld;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        world->sim.setStartServices(kService);
        ASSERT_TRUE(world->startBridge());
        ASSERT_TRUE(world->sim.bringUp());
        ASSERT_TRUE(TestWorld::waitFor([] { return !world->sim.received(kService).isEmpty(); }, 20000))
            << "the bridge never set its listener";
    }
    void TearDown() override
    {
        world->stop();
        delete world;
        world = nullptr;
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

// A test code of the simulated service; the listener call's status.
int send(int code, const QJsonArray &args)
{
    const QJsonObject answer = world->sim.command(
        {{"cmd", "call"}, {"service", kService}, {"code", code}, {"args", args}});
    const QJsonArray ints = answer.value(QStringLiteral("ints")).toArray();
    return answer.value(QStringLiteral("status")).toInt(-1) == 0 && ints.size() > 1 ? ints.at(1).toInt() : -1;
}
QJsonObject i32(int v) { return {{"i32", v}}; }
QJsonObject i64(qint64 v) { return {{"i64", v}}; }
QJsonObject s16(const QString &v) { return {{"s16", v}}; }

int clientChange(bool clearing) { return send(0x5eed0001, {i32(clearing ? 1 : 0)}); }
int playback(int state, int shuffle, int repeat) { return send(0x5eed0002, {i32(state), i32(shuffle), i32(repeat)}); }
int transport(int flags) { return send(0x5eed0003, {i32(flags)}); }
int metadata(const QString &title, const QString &cover, const QString &artUri = QString())
{
    return send(0x5eed0004, {s16("Artist"), s16(title), s16("Album"), i64(215000), i64(12000), i64(7), s16("Jazz"),
                             s16("Band"), s16(cover), s16(artUri)});
}

QString playerctl(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("playerctl"), arguments);
    if (!p.waitForFinished(10000))
        return QStringLiteral("<timeout>");
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
QString novum(const QStringList &arguments)
{
    return playerctl(QStringList{QStringLiteral("--player=novum")} + arguments);
}
bool playerListed()
{
    return playerctl({QStringLiteral("--list-all")}).split('\n').contains(QStringLiteral("novum"));
}
QString coverDir()
{
    return world->cacheDir() + QStringLiteral("/ferryd-bridge-user/ferryd-bridge-user/mpris/coverArts");
}

// Requests the service received from the bridge after the first `from`
// lines (the test's own control calls left out): "name:arg".
QStringList requests(int from)
{
    QStringList list;
    for (const QJsonObject &line : world->sim.received(kService).mid(from)) {
        QStringList parts;
        for (const QJsonValue &v : line.value(QStringLiteral("args")).toArray())
            parts << v.toVariant().toString();
        if (!parts.value(0).startsWith(QLatin1String("send")))
            list << parts.join(':');
    }
    return list;
}

TEST(Media, PlayerFollowsTheClientAndShowsStateAndMetadata)
{
    ASSERT_EQ(clientChange(false), 0);
    ASSERT_TRUE(TestWorld::waitFor(playerListed));
    // playerctl reads nothing from a player that cannot play.
    ASSERT_EQ(transport(4), 0);

    const QString format = QStringLiteral("{{artist}}|{{title}}|{{album}}|{{mpris:length}}|{{xesam:trackNumber}}|"
                                          "{{xesam:genre}}|{{xesam:albumArtist}}");
    const QString red = QStringLiteral("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4z8DwHwAFAAH/iZk9HQAAAABJRU5ErkJggg==");
    const QString blue = QStringLiteral("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGNgYPj/HwADAgH/6TBBAAAAAABJRU5ErkJggg==");
    ASSERT_EQ(metadata("Song", red), 0);
    EXPECT_EQ(novum({"metadata", "--format", format}), "Artist|Song|Album|215000000|7|Jazz|Band");
    // (playerctl shows no state of a player without metadata)
    ASSERT_EQ(playback(3, 1, 2), 0);
    const QString state = QStringLiteral("{{status}}|{{shuffle}}|{{loop}}");
    EXPECT_EQ(novum({"metadata", "--format", state}), "Playing|true|Playlist");
    ASSERT_EQ(playback(2, 5, 1), 0);   // an unknown shuffle mode changes nothing
    EXPECT_EQ(novum({"metadata", "--format", state}), "Paused|true|Track");
    EXPECT_EQ(novum({"position"}).toDouble(), 12.0);   // (a stopped player's is 0)
    const QString redUrl = novum({"metadata", "mpris:artUrl"});
    ASSERT_TRUE(redUrl.startsWith("file://" + coverDir() + "/novum_mpris_coverArt_")) << redUrl.toStdString();
    const QString redFile = redUrl.mid(7);
    EXPECT_EQ(QFileInfo(redFile).size(), QByteArray::fromBase64(red.toLatin1()).size());

    // The same cover again: the file is kept as it is.
    const QDateTime written = QFileInfo(redFile).lastModified();
    ASSERT_EQ(metadata("Song 2", red), 0);
    EXPECT_EQ(novum({"metadata", "mpris:artUrl"}), redUrl);
    EXPECT_EQ(QFileInfo(redFile).lastModified(), written);

    // A new cover has a new URL, and the old file goes.
    ASSERT_EQ(metadata("Song 3", blue), 0);
    const QString blueUrl = novum({"metadata", "mpris:artUrl"});
    EXPECT_NE(blueUrl, redUrl);
    EXPECT_TRUE(QFile::exists(blueUrl.mid(7)));
    EXPECT_FALSE(QFile::exists(redFile));

    // An art URI wins over the data; data that is not Base64 gives no art.
    ASSERT_EQ(metadata("Song 4", blue, "https://example.com/a.png"), 0);
    EXPECT_EQ(novum({"metadata", "mpris:artUrl"}), "https://example.com/a.png");
    ASSERT_EQ(metadata("Song 5", "not*base64/../../x"), 0);
    EXPECT_EQ(novum({"metadata", "mpris:artUrl"}), "");
    EXPECT_EQ(QDir(coverDir()).entryList(QDir::Files).size(), 1);

    // A new client empties the cache; clearing drops the player.
    ASSERT_EQ(clientChange(false), 0);
    EXPECT_TRUE(QDir(coverDir()).isEmpty());
    ASSERT_EQ(clientChange(true), 0);
    EXPECT_TRUE(TestWorld::waitFor([] { return !playerListed(); }));
    ASSERT_EQ(metadata("Nobody listens", red), 0);   // no player: nothing breaks
}

TEST(Media, PlayerctlRequestsReachAndroid)
{
    ASSERT_EQ(clientChange(false), 0);
    ASSERT_TRUE(TestWorld::waitFor(playerListed));
    ASSERT_EQ(playback(2, 0, 0), 0);
    // playerctl skips what the player says it cannot do.
    ASSERT_EQ(transport(16 | 32 | 512 | 256), 0);
    const int from = world->sim.received(kService).size();
    // playerctl does not ask a paused player to pause, nor a playing one
    // to play.
    novum({"play"});
    ASSERT_EQ(playback(3, 0, 0), 0);
    // Android has no toggle: the media key's request follows the shown state.
    novum({"play-pause"});
    ASSERT_EQ(playback(2, 0, 0), 0);
    novum({"play-pause"});
    ASSERT_EQ(playback(3, 0, 0), 0);
    for (const QStringList &command : QList<QStringList>{{"pause"}, {"stop"}, {"previous"}, {"next"},
                                                         {"loop", "Track"}, {"loop", "Playlist"}, {"loop", "None"},
                                                         {"shuffle", "On"}, {"shuffle", "Off"}, {"position", "5+"}})
        novum(command);
    // An unknown loop status from a client reaches Android as "none".
    QDBusMessage set = QDBusMessage::createMethodCall(
        "org.mpris.MediaPlayer2.novum", "/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties", "Set");
    set << "org.mpris.MediaPlayer2.Player" << "LoopStatus" << QVariant::fromValue(QDBusVariant(QStringLiteral("Bogus")));
    QDBusConnection::sessionBus().call(set, QDBus::Block, 5000);
    const QStringList expected{"play", "pause", "play", "pause", "stop", "previous", "next", "setLoopStatus:1", "setLoopStatus:2",
                               "setLoopStatus:0", "setShuffle:1", "setShuffle:0", "seek:5000000",
                               "setLoopStatus:0"};
    EXPECT_TRUE(TestWorld::waitFor([&] { return requests(from).size() >= expected.size(); }));
    EXPECT_EQ(requests(from).mid(0, expected.size()), expected) << requests(from).join(' ').toStdString();

    // Without the abilities playerctl sends nothing.
    ASSERT_EQ(transport(0), 0);
    const int before = world->sim.received(kService).size();
    novum({"next"});
    novum({"previous"});
    EXPECT_EQ(requests(before), QStringList());
}

} // namespace
