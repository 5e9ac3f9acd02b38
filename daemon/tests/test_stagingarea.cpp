// The staging directories in the runtime's data tree, with links planted
// by the runtime's side at every level: nothing outside the tree changes.
// Runs natively and, as root, in the guest.
#include "stagingarea.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const uid_t kRuntimeUid = 4242;
const char kIncoming[] = "data/qrs-staging/app/incoming";

// Everything about a tree that root could change through a followed link.
QMap<QString, QString> snapshot(const QString &top)
{
    QMap<QString, QString> result;
    QStringList paths{top};
    QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    for (const QString &path : paths) {
        struct stat st;
        if (lstat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        QString value = QStringLiteral("%1 %2:%3").arg(st.st_mode, 0, 8).arg(st.st_uid).arg(st.st_gid);
        QFile f(path);
        if (S_ISREG(st.st_mode) && f.open(QIODevice::ReadOnly))
            value += QLatin1Char(' ') + QString::fromLatin1(f.readAll());
        result.insert(path, value);
    }
    return result;
}

class StagingAreaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.filePath("root");
        outside = dir.filePath("outside");
        // Whatever level a link leads to, following it would meet files.
        for (const char *sub : {"", "incoming", "packaged", "app/incoming", "qrs-staging/app/incoming",
                                "data/qrs-staging/app/incoming"}) {
            const QString d = outside + QLatin1Char('/') + QLatin1String(sub);
            ASSERT_TRUE(QDir().mkpath(d));
            for (const char *name : {"app-1.apk", "app-1.apk.tmp", "stale.apk"})
                write(d + QLatin1Char('/') + QLatin1String(name), "host file", 0600);
        }
        // Owned by someone else where the test may say so: a chown through
        // a link would show.
        if (geteuid() == 0) {
            QDirIterator it(outside, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (it.hasNext())
                ASSERT_EQ(lchown(QFile::encodeName(it.next()).constData(), kRuntimeUid, kRuntimeUid), 0);
        }
        ASSERT_EQ(chmod(QFile::encodeName(outside).constData(), 0700), 0);
        write(dir.filePath("source.apk"), "APK", 0644);
    }

    static void write(const QString &path, const QByteArray &content, mode_t mode)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
        f.close();
        ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
    }
    void link(const QString &target, const QString &at)
    {
        const QString path = root + QLatin1Char('/') + at;
        QDir().mkpath(QFileInfo(path).path());
        ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0) << path.toStdString();
    }

    QTemporaryDir dir;
    QString root;
    QString outside;
};

TEST_F(StagingAreaTest, LinksPlantedAtEachLevelAreNeverFollowed)
{
    struct Case
    {
        const char *at;       // below the data root
        const char *target;   // below the outside directory
        bool staged;          // whether staging still succeeds
    };
    const Case cases[] = {
        {"data", "", false},   // the runtime's /data itself: not ours to replace
        {"data/qrs-staging", "", true},
        {"data/qrs-staging/app", "", true},
        {"data/qrs-staging/app/incoming", "", true},
        {"data/qrs-staging/app/packaged", "packaged", true},
        {"data/qrs-staging/app/incoming/app-1.apk", "app-1.apk", true},
        {"data/qrs-staging/app/incoming/app-1.apk.tmp", "app-1.apk.tmp", true},
        {"data/qrs-staging/app/incoming/stale.apk", "stale.apk", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.at);
        QDir(root).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(root));
        link(outside + QLatin1Char('/') + QLatin1String(c.target), QLatin1String(c.at));
        const QMap<QString, QString> before = snapshot(outside);

        const StagingArea area(root, geteuid(), getegid());
        area.preparePackagedDir();
        area.removeStaleFiles();
        const int fd = open(QFile::encodeName(dir.filePath("source.apk")).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        QString target;
        const bool staged = area.stage(fd, dir.filePath("source.apk"), QStringLiteral("app-1.apk"), &target);
        close(fd);

        EXPECT_EQ(snapshot(outside), before);
        ASSERT_EQ(staged, c.staged);
        if (!staged)
            continue;
        EXPECT_EQ(target, root + "/data/qrs-staging/app/incoming/app-1.apk");
        // Real directories of the daemon's user all the way down.
        QString path = root + "/data";
        for (const char *component : {"qrs-staging", "qrs-staging/app", "qrs-staging/app/packaged", "qrs-staging/app/incoming"}) {
            struct stat st;
            const QString p = path + QLatin1Char('/') + QLatin1String(component);
            ASSERT_EQ(lstat(QFile::encodeName(p).constData(), &st), 0) << p.toStdString();
            EXPECT_TRUE(S_ISDIR(st.st_mode)) << p.toStdString();
            EXPECT_EQ(st.st_uid, geteuid()) << p.toStdString();
        }
        struct stat st;
        ASSERT_EQ(lstat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        EXPECT_EQ(st.st_uid, geteuid());
        QFile staged_file(target);
        ASSERT_TRUE(staged_file.open(QIODevice::ReadOnly));
        EXPECT_EQ(staged_file.readAll(), QByteArray("APK"));
        // Only the staged file is left.
        EXPECT_EQ(QDir(root + QLatin1Char('/') + QLatin1String(kIncoming)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                  QStringList{"app-1.apk"});
    }
}

TEST_F(StagingAreaTest, DirectoriesOfAnotherOwnerAreReplaced)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to make a directory of another user";
    for (const char *at : {"data/qrs-staging", "data/qrs-staging/app/incoming"}) {
        SCOPED_TRACE(at);
        QDir(root).removeRecursively();
        const QString planted = root + QLatin1Char('/') + QLatin1String(at);
        ASSERT_TRUE(QDir().mkpath(planted + "/app/incoming"));
        ASSERT_EQ(chown(QFile::encodeName(planted).constData(), kRuntimeUid, kRuntimeUid), 0);
        // The runtime's own links inside, at the name root is about to use.
        link(outside + "/app-1.apk.tmp", QLatin1String(kIncoming) + "/app-1.apk.tmp");
        link(outside, QString::fromLatin1(at) + "/app/incoming/deeper");
        const QMap<QString, QString> before = snapshot(outside);

        const StagingArea area(root);
        const int fd = open(QFile::encodeName(dir.filePath("source.apk")).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        QString target;
        EXPECT_TRUE(area.stage(fd, dir.filePath("source.apk"), QStringLiteral("app-1.apk"), &target));
        close(fd);
        EXPECT_EQ(snapshot(outside), before);
        struct stat st;
        ASSERT_EQ(lstat(QFile::encodeName(planted).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(QDir(root + QLatin1Char('/') + QLatin1String(kIncoming)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                  QStringList{"app-1.apk"});
    }
}

} // namespace
