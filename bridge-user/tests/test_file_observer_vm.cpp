// The bridge's file observer between a real Tracker endpoint (the file
// miner's name on the test's session bus) and the simulated runtime's media
// scanner: Tracker's own change notices become scan requests.
#include "bridgeuserworld.h"
#include "fileindex.h"

#include <gtest/gtest.h>

void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << l.join(QLatin1Char(' ')).toStdString();
}

namespace {

const QString kService = QStringLiteral("novum.media.file_observer");
const QString kHome = QStringLiteral("file:///home/ferry");
const QString kVolume = QStringLiteral("file:///storage/8ff87de4-0b37-4799-b09a-82773e869e07");
BridgeUserWorld *world = nullptr;
FileIndex *fileIndex = nullptr;

// The URLs the scanner received, from the `from`th request on.
QStringList scans(int from = 0)
{
    QStringList urls;
    for (const QJsonObject &line : world->sim.received(kService).mid(from))
        urls << line.value(QStringLiteral("args")).toArray().at(0).toString();
    return urls;
}

// Inserts files prefix-N until the scanner hears of one (the bridge is
// connected and subscribed to Tracker's notices then; nothing here can tell
// that earlier), and waits for the last one.
bool probe(const QString &prefix)
{
    const auto heard = [&](const QString &what) { return scans().join(' ').contains('/' + prefix + what); };
    for (int i = 0; i < 60; ++i) {
        fileIndex->update(FileIndex::insertFile(kHome + QStringLiteral("/%1-%2.txt").arg(prefix).arg(i)));
        if (TestWorld::waitFor([&] { return heard("-"); }, 500))
            return TestWorld::waitFor([&] { return heard(QStringLiteral("-%1.").arg(i)); });
    }
    return false;
}

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new BridgeUserWorld;
        fileIndex = new FileIndex;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        ASSERT_TRUE(fileIndex->start(world->sim.world, world->cacheDir() + QStringLiteral("/index")));
        world->sim.setStartServices(kService);
        ASSERT_TRUE(world->sim.bringUp());
        // The bridge connects to Tracker when it starts.
        ASSERT_TRUE(fileIndex->ready(&error)) << qPrintable(error);
        ASSERT_TRUE(world->startBridge());
        ASSERT_TRUE(probe(QStringLiteral("start"))) << "no notice of Tracker's reached the scanner";
    }
    void TearDown() override
    {
        world->stop();
        delete fileIndex;
        delete world;
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

TEST(FileObserver, FileChangesReachTheScannerAsAndroidUrls)
{
    const QString song = kHome + QStringLiteral("/Music/a%20b.mp3");
    const QString batch = kHome + QStringLiteral("/Pictures/p%1.jpg");
    const struct
    {
        QString update;
        QStringList scans;
    } steps[] = {
        {FileIndex::insertFile(song), {kVolume + "/Music/a%20b.mp3"}},
        // Other graphs describe content, even where it is named by a file URL.
        {FileIndex::insertFile(kHome + "/Music/c.mp3", "tracker:Audio"), {}},
        {FileIndex::insertFile(kHome + "/android_storage/d.pdf", QString()), {"file:///storage/emulated/0/d.pdf"}},
        // Nothing Android can see: a blank node, a path outside, a monster.
        {"INSERT DATA { GRAPH tracker:FileSystem { _:f a nfo:FileDataObject } }", {}},
        {FileIndex::insertFile("file:///tmp/outside.mp3"), {}},
        {FileIndex::insertFile(kHome + '/' + QString(5000, QLatin1Char('a'))), {}},
        // Android drops a deleted file when it scans it.
        {"DELETE DATA { GRAPH tracker:FileSystem { <" + song + "> a rdfs:Resource } }", {kVolume + "/Music/a%20b.mp3"}},
        {FileIndex::insertFile(batch.arg(1)) + ';' + FileIndex::insertFile(batch.arg(2)),
         {kVolume + "/Pictures/p1.jpg", kVolume + "/Pictures/p2.jpg"}},
    };
    const int from = world->sim.received(kService).size();
    QStringList expected;
    for (const auto &step : steps) {
        QString error;
        ASSERT_TRUE(fileIndex->update(step.update, &error)) << qPrintable(error);
        expected << step.scans;
    }
    // The notices come in order: once the last file is in, all are.
    ASSERT_TRUE(fileIndex->update(FileIndex::insertFile(kHome + "/last.txt")));
    expected << kVolume + "/last.txt";
    EXPECT_TRUE(TestWorld::waitFor([&] { return scans(from).size() >= expected.size(); }));
    EXPECT_EQ(scans(from), expected);
    for (const QJsonObject &line : world->sim.received(kService).mid(from))
        EXPECT_TRUE(line.value("code").toInt() == 1 && line.value("oneway").toBool()
                    && line.value("args").toArray().at(1).isNull() && line.value("args").toArray().at(2).isNull());
}

TEST(FileObserver, NothingIsSentOrReplayedWhileTheScannerIsAway)
{
    ASSERT_TRUE(world->sim.command({{"cmd", "withdraw"}, {"service", kService}}).value("ok").toBool());
    ASSERT_TRUE(fileIndex->update(FileIndex::insertFile(kHome + "/away.mp3")));
    ASSERT_TRUE(world->sim.command({{"cmd", "publish"}, {"service", kService}}).value("ok").toBool());
    const int from = world->sim.received(kService).size();
    ASSERT_TRUE(probe(QStringLiteral("back")));
    TestWorld::waitFor([] { return false; }, 500);   // anything late would be in now
    EXPECT_EQ(scans(from).filter("/back-"), scans(from));
}

} // namespace
