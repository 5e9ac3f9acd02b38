// Media session metadata as MPRIS metadata, and the cover-art cache.
#include "media/coverartcache.h"
#include "media/mediametadata.h"
#include "novumparcel.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>

using ferry::binder::Reader;
using ferry::binder::Writer;

TEST(MediaMetadata, ReadsAndroidsOrderAndMapsToMprisTypes)
{
    Writer w;
    NovumParcel out(&w);
    for (const char *s : {"Artist", "Title", "Album"})
        out.writeString(QString::fromLatin1(s));
    out.writeInt64(215000);
    out.writeInt64(12000);
    out.writeInt64(7);
    for (const char *s : {"Jazz", "Band", "AAAA", "content://art"})
        out.writeString(QString::fromLatin1(s));
    const std::vector<uint8_t> bytes = w.data();
    Reader reader(bytes.data(), bytes.size());
    NovumParcel in(&reader);
    const MediaMetadata m = MediaMetadata::read(in);
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(m.coverArt, "AAAA");
    EXPECT_EQ(m.artUri, "content://art");
    EXPECT_EQ(m.positionUs(), 12000000);

    const QVariantMap map = m.toMpris();
    EXPECT_EQ(map.value("xesam:artist"), QVariant(QStringList{"Artist"}));
    EXPECT_EQ(map.value("xesam:title"), QVariant(QStringLiteral("Title")));
    EXPECT_EQ(map.value("xesam:album"), QVariant(QStringLiteral("Album")));
    EXPECT_EQ(map.value("mpris:length"), QVariant(qlonglong(215000000)));
    EXPECT_EQ(map.value("xesam:trackNumber"), QVariant(7));
    EXPECT_EQ(map.value("xesam:genre"), QVariant(QStringList{"Jazz"}));
    EXPECT_EQ(map.value("xesam:albumArtist"), QVariant(QStringList{"Band"}));
    EXPECT_FALSE(map.contains("mpris:artUrl"));
}

TEST(MediaMetadata, ValuesWithoutSoundMeaningAreLeftOut)
{
    struct Case { int64_t duration, position, track; bool hasLength, hasTrack; qlonglong positionUs; };
    const Case cases[] = {
        {0, 0, 0, true, true, 0},
        {-1, -1, -1, false, true, -1},
        {std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max() / 999, 1LL << 40, false, false, -1},
    };
    for (const Case &c : cases) {
        MediaMetadata m;
        m.durationMs = c.duration;
        m.positionMs = c.position;
        m.trackNumber = c.track;
        const QVariantMap map = m.toMpris();
        EXPECT_EQ(map.contains("mpris:length"), c.hasLength) << c.duration;
        EXPECT_EQ(map.contains("xesam:trackNumber"), c.hasTrack) << c.track;
        EXPECT_EQ(m.positionUs(), c.positionUs) << c.position;
    }
}

TEST(CoverArtCache, KeepsOneFileNamedByContent)
{
    QTemporaryDir tmp;
    CoverArtCache cache(tmp.path() + "/covers");
    ASSERT_TRUE(cache.clear());
    const QString red = QString::fromLatin1(QByteArray("red image").toBase64());
    const QString blue = QString::fromLatin1(QByteArray("blue image").toBase64());

    const QString redPath = cache.save(red);
    ASSERT_EQ(QFileInfo(redPath).fileName(), CoverArtCache::fileNameFor("red image"));
    EXPECT_EQ(QFileInfo(redPath).absolutePath(), cache.directory());
    QFile f(redPath);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "red image");
    // The same cover is not written again (a write would replace the file).
    ASSERT_TRUE(QFile::remove(redPath));
    EXPECT_EQ(cache.save(red), redPath);
    EXPECT_FALSE(QFile::exists(redPath));

    const QString bluePath = cache.save(blue);
    EXPECT_NE(bluePath, redPath);
    EXPECT_EQ(QDir(cache.directory()).entryList(QDir::Files), QStringList{QFileInfo(bluePath).fileName()});
    ASSERT_TRUE(cache.clear());
    EXPECT_TRUE(QDir(cache.directory()).isEmpty());
    EXPECT_EQ(cache.save(red), redPath);   // forgotten by clear(): written anew
    EXPECT_TRUE(QFile::exists(redPath));
}

TEST(CoverArtCache, RefusesWhatIsNotAnAllowedImage)
{
    QTemporaryDir tmp;
    CoverArtCache cache(tmp.path());
    const QByteArray big(CoverArtCache::kMaxImageBytes + 1, 'x');
    const QString cases[] = {
        QStringLiteral("../../etc/passwd"),
        QStringLiteral("not base64!"),
        QStringLiteral("===="),
        QString::fromLatin1(big.toBase64()),
    };
    for (const QString &data : cases)
        EXPECT_EQ(cache.save(data), QString()) << data.left(40).toStdString();
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
    const QByteArray largest(CoverArtCache::kMaxImageBytes, 'x');
    EXPECT_FALSE(cache.save(QString::fromLatin1(largest.toBase64())).isEmpty());
}
