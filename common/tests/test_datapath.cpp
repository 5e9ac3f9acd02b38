#include "datapath.h"

#include "logcapture.h"

#include <gtest/gtest.h>

namespace {

const QString kVolume = QStringLiteral("/storage/8ff87de4-0b37-4799-b09a-82773e869e07");

class DataRootEnv : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_wasSet = qEnvironmentVariableIsSet("ANDROID_DATA_ROOT");
        m_old = qgetenv("ANDROID_DATA_ROOT");
    }
    void TearDown() override
    {
        if (m_wasSet)
            qputenv("ANDROID_DATA_ROOT", m_old);
        else
            qunsetenv("ANDROID_DATA_ROOT");
    }

private:
    bool m_wasSet = false;
    QByteArray m_old;
};

} // namespace

TEST_F(DataRootEnv, CustomRootIsUsedAsGivenAndLogged)
{
    LogCapture log;
    qputenv("ANDROID_DATA_ROOT", "/data/x");
    const QString root = dataRoot();
    EXPECT_EQ(root, QStringLiteral("/data/x"));
    EXPECT_EQ(dataPath(root, AppDir), QStringLiteral("/data/x/data/app/"));
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Using custom path for apps + data: ")), 1);

    qputenv("ANDROID_DATA_ROOT", "/data/y/");
    EXPECT_EQ(dataPath(dataRoot(), AppDataDir), QStringLiteral("/data/y//data/data/"));
}

TEST_F(DataRootEnv, UnsetGivesDefaultWithoutLog)
{
    LogCapture log;
    qunsetenv("ANDROID_DATA_ROOT");
    EXPECT_EQ(dataRoot(), QStringLiteral("/home/.android"));
    EXPECT_EQ(dataPath(dataRoot(), AppDir), QStringLiteral("/home/.android/data/app/"));
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Using custom path")), 0);
}

TEST_F(DataRootEnv, EmptyValueGivesEmptyRoot)
{
    qputenv("ANDROID_DATA_ROOT", "");
    EXPECT_EQ(dataRoot(), QString());
    EXPECT_EQ(dataPath(dataRoot(), AppDir), QStringLiteral("/data/app/"));
}

TEST(DataPath, EveryKindAndUnknownKind)
{
    const QString r = QStringLiteral("/r");
    EXPECT_EQ(dataPath(r, DataRoot), r);
    EXPECT_EQ(dataPath(r, AppDir), QStringLiteral("/r/data/app/"));
    EXPECT_EQ(dataPath(r, IncomingDir), QStringLiteral("/r/data/qrs-staging/app/incoming/"));
    EXPECT_EQ(dataPath(r, PackagedDir), QStringLiteral("/r/data/qrs-staging/app/packaged/"));
    EXPECT_EQ(dataPath(r, AppDataDir), QStringLiteral("/r/data/data/"));

    LogCapture log;
    EXPECT_EQ(dataPath(r, static_cast<DataPath>(7)), QString());
    EXPECT_EQ(dataPath(r, static_cast<DataPath>(0)), QString());
    EXPECT_EQ(log.count(QtWarningMsg, QStringLiteral("Cannot handle symbolic path: 7")), 1);
}

TEST(AndroidPath, HomeStorageAndMedia)
{
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home/USER/android_storage/Download/a.pdf")),
              QStringLiteral("/storage/emulated/0/Download/a.pdf"));
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home/USER/android_storage")),
              QStringLiteral("/storage/emulated/0"));
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home/USER/Pictures/b.jpg")), kVolume + "/Pictures/b.jpg");
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home/USER")), kVolume);
    EXPECT_EQ(toAndroidPath(QStringLiteral("/run/media/USER/CARD/c.mp3")),
              QStringLiteral("/storage/CARD/c.mp3"));
    EXPECT_EQ(toAndroidPath(QStringLiteral("/tmp/e")), QStringLiteral("/tmp/e"));
    EXPECT_EQ(toAndroidPath(QString()), QString());
}

TEST(AndroidPath, FileUrlsAreDecoded)
{
    EXPECT_EQ(toAndroidPath(QStringLiteral("file:///home/USER/Documents/d.txt")),
              kVolume + "/Documents/d.txt");
    EXPECT_EQ(toAndroidPath(QStringLiteral("file:///home/USER/My%20Files/x.txt")),
              kVolume + "/My Files/x.txt");
    EXPECT_EQ(toAndroidPath(QStringLiteral("file:///run/media/USER/SD/f")), QStringLiteral("/storage/SD/f"));
}

// Only the mount point itself is the emulated storage: a folder of the same
// name deeper down, or a sibling whose name merely begins the same way,
// keeps its name; so does a directory beside /home with a longer name.
TEST(AndroidPath, OnlyRealMountPointsAreMapped)
{
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home/USER/android_storage/x/android_storage/y")),
              QStringLiteral("/storage/emulated/0/x/android_storage/y"));
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home/USER/android_storage_old/z")),
              kVolume + "/android_storage_old/z");
    EXPECT_EQ(toAndroidPath(QStringLiteral("/homework/a")), QStringLiteral("/homework/a"));
    EXPECT_EQ(toAndroidPath(QStringLiteral("/home")), QStringLiteral("/home"));
}

TEST(AndroidPath, DebugTrail)
{
    LogCapture log;
    toAndroidPath(QStringLiteral("/home/USER/Music"));
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Orig path: ")), 1);
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Removed home:")), 1);
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Final path: ")), 1);
}

TEST(AndroidUrl, LocalResultsAreFileUrls)
{
    EXPECT_EQ(toAndroidUrl(QStringLiteral("/home/USER/a b.txt")), QUrl::fromLocalFile(kVolume + "/a b.txt"));
    EXPECT_TRUE(toAndroidUrl(QStringLiteral("/tmp/x")).isLocalFile());
    const QUrl web = toAndroidUrl(QStringLiteral("https://example.org/p?q=1"));
    EXPECT_EQ(web.scheme(), QStringLiteral("https"));
    EXPECT_EQ(web.host(), QStringLiteral("example.org"));
}
