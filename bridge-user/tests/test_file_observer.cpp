// Which Tracker changes become scan requests, and the URL Android gets.
#include "media/novumfileobserver.h"

#include <gtest/gtest.h>

namespace {

const QString kVolume = QStringLiteral("file:///storage/8ff87de4-0b37-4799-b09a-82773e869e07");

TEST(FileObserver, OnlyTheFileSystemGraphCounts)
{
    const struct
    {
        const char *graph;
        bool files;
    } cases[] = {
        {"http://tracker.api.gnome.org/ontology/v3/tracker#FileSystem", true},
        {"http://tracker.api.gnome.org/ontology/v3/tracker#Audio", false},
        {"http://tracker.api.gnome.org/ontology/v3/tracker#FileSystemX", false},
        {"http://tracker.api.gnome.org/ontology/v3/tracker#filesystem", false},
        {"urn:a#FileSystem#Audio", false},   // the last fragment decides
        {"urn:a#Audio#FileSystem", true},
        {"", true},                          // the default graph
        {"urn:graph", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NovumFileObserver::isFileSystemGraph(QString::fromUtf8(c.graph)), c.files) << c.graph;
}

TEST(FileObserver, UrnsBecomeAndroidFileUrlsOrNothing)
{
    const QString longName(NovumFileObserver::kMaxUrnLength - int(qstrlen("file:///home/u/")), QLatin1Char('a'));
    const struct
    {
        QString urn;
        QString url;   // empty: no scan request
    } cases[] = {
        {"file:///home/u/Music/a%20b.mp3", kVolume + "/Music/a%20b.mp3"},
        {"file:///home/u/android_storage/Download/x.pdf", "file:///storage/emulated/0/Download/x.pdf"},
        {"file:///run/media/u/CARD/c%23d%3F.mp3", "file:///storage/CARD/c%23d%3F.mp3"},
        {"file:///home/u/Music/%C3%A4%25.ogg", kVolume + "/Music/%C3%A4%25.ogg"},
        {"file:///home/u/Music/../Videos/v.mp4", kVolume + "/Videos/v.mp4"},
        {"file:///home/u/" + longName, kVolume + '/' + longName},
        // Nothing Android can see.
        {"file:///home/u/" + longName + 'a', ""},
        {"file:///home/u/../../etc/passwd", ""},
        {"file:///home/u/../../storage/emulated/0/x", ""},
        {"file:///tmp/e.mp3", ""},
        {"file:///storage/emulated/0/Music/x.mp3", ""},
        {"file:///home/u/a%00b.mp3", ""},
        {"file://server/home/u/a.mp3", ""},
        {"http://example.com/home/u/a.mp3", ""},
        {"urn:bnode:588", ""},
        {"urn:uuid:1f0e2a6c-7c1b-4f0e-9d2a-000000000001", ""},
        {"/home/u/a.mp3", ""},
        {"file:", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NovumFileObserver::androidMediaUrl(c.urn), c.url) << c.urn.left(80).toStdString();
}

} // namespace
