#include "desktopmanager.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class DesktopQueriesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("FERRYD_APPLICATIONS_DIR", (dir.path() + "/").toLocal8Bit());
    }
    void TearDown() override { qunsetenv("FERRYD_APPLICATIONS_DIR"); }
    QString write(const QString &name, const QByteArray &content)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return QDir(dir.path() + "/").absoluteFilePath(name);
    }
    QTemporaryDir dir;
};

TEST_F(DesktopQueriesTest, EntriesAreGroupedByPackage)
{
    const QString a1 = write("ferryd_launcher_com_a-com_a_Main.desktop",
                             "[Desktop Entry]\nName=App A\nX-ferryd-packageName=com.a\n");
    const QString a2 = write("ferryd_handler_com_a-com_a_View.desktop",
                             "[Desktop Entry]\nName=A viewer\nX-ferryd-packageName=com.a\n");
    const QString b = write("ferryd_launcher_com_b-com_b_Main.desktop",
                            "X-ferryd-packageName=ignored\n[Desktop Entry]\nName=Old\nName=B=b\n"
                            "X-ferryd-packageName=com.b\n");
    write("other.desktop", "[Desktop Entry]\nName=Other\nX-ferryd-packageName=com.c\n");
    write("ferryd_launcher_nopackage.desktop", "[Desktop Entry]\nName=None\n");

    DesktopManager manager("/data");
    const QMap<QString, QStringList> entries = manager.desktopEntriesByPackage();
    EXPECT_EQ(entries.keys(), (QStringList{"com.a", "com.b"}));
    EXPECT_EQ(entries.value("com.a"), (QStringList{a2, a1}));   // by file name
    EXPECT_EQ(manager.allDesktopEntries().size(), 3);

    EXPECT_EQ(manager.packageForDesktopEntry(a1), "com.a");
    EXPECT_EQ(manager.packageForDesktopEntry(b), "com.b");
    EXPECT_EQ(manager.packageForDesktopEntry(dir.filePath("other.desktop")), dir.filePath("other.desktop"));
    EXPECT_EQ(manager.packageForDesktopEntry("com.example"), "com.example");

    EXPECT_EQ(manager.appDisplayName("com.a"), "A viewer");   // the first entry listed
    EXPECT_EQ(manager.appDisplayName("com.b"), "B=b");        // later key wins, text after the first '='
    EXPECT_EQ(manager.appDisplayName("com.none"), "com.none");
}

} // namespace
