#include "runtimeproperties.h"
#include "runtimeproperties_p.h"

#include "logcapture.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Each test gets its own build-properties file and starts with the empty
// cache of a fresh process.
class BuildProp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("build.prop"));
        qputenv("FERRY_BUILD_PROP", m_path.toUtf8());
        resetRuntimePropertiesCache();
    }
    void TearDown() override
    {
        qunsetenv("FERRY_BUILD_PROP");
        resetRuntimePropertiesCache();
    }
    void write(const QByteArray &content)
    {
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }

    QTemporaryDir m_dir;
    QString m_path;
};

} // namespace

TEST(BuildPropPath, DefaultAndOverride)
{
    qunsetenv("FERRY_BUILD_PROP");
    EXPECT_EQ(buildPropertiesPath(), QStringLiteral("/opt/novum//build.prop"));
    qputenv("FERRY_BUILD_PROP", "");
    EXPECT_EQ(buildPropertiesPath(), QStringLiteral("/opt/novum//build.prop"));
    qputenv("FERRY_BUILD_PROP", "/tmp/other.prop");
    EXPECT_EQ(buildPropertiesPath(), QStringLiteral("/tmp/other.prop"));
    qunsetenv("FERRY_BUILD_PROP");
}

TEST_F(BuildProp, TypicalFile)
{
    write("# begin build properties\n"
          "ro.build.id=QQ3A\n"
          "ro.build.version.sdk=29\n"
          "ro.build.version.release=10\n"
          "ro.build.version.security_patch=2021-03-05\n");
    EXPECT_EQ(sdkVersion(), 29);
    EXPECT_EQ(androidRelease(), QStringLiteral("10"));
    EXPECT_EQ(securityPatch(), QStringLiteral("2021-03-05"));
}

TEST_F(BuildProp, SpacesEqualsAndRepeatedKeys)
{
    write("   ro.build.version.sdk=28 \t\n"
          "ro.build.version.release=10=x\n"
          "ro.build.version.security_patch = 2020-01-01 \n"
          "ro.build.version.sdk=27\n");
    EXPECT_EQ(sdkVersion(), 27);
    EXPECT_EQ(androidRelease(), QStringLiteral("10"));
    EXPECT_EQ(securityPatch(), QStringLiteral("2020-01-01"));
}

TEST_F(BuildProp, MalformedLinesAreSkipped)
{
    QByteArray junk("no equals sign here\n=\n==\n=value without key\n\n\r\n");
    junk += QByteArray("\x00\xff\xfe=\x01\n", 6);
    // Far longer than any sane line; its tail must not count as a line.
    junk += QByteArray(200000, 'k') + "\nro.build.version.release=x" + QByteArray(70000, 'x') +
            "\nro.build.version.security_patch=" + QByteArray(65536 - 32, ' ') + "ro.build.version.sdk=5\n";
    junk += "ro.build.version.sdk=twenty-nine\n";
    junk += "ro.build.version.sdk=99999999999999999999\n";
    junk += "ro.build.version.release=\n";
    write(junk);
    EXPECT_EQ(sdkVersion(), 0);
    EXPECT_EQ(androidRelease(), QString());
    EXPECT_EQ(securityPatch(), QString());

    write(junk + "ro.build.version.sdk=29\n");
    EXPECT_EQ(sdkVersion(), 29);
}

TEST_F(BuildProp, MissingFileOrDirectoryGivesEmptyValues)
{
    LogCapture log;
    EXPECT_EQ(sdkVersion(), 0);
    EXPECT_EQ(androidRelease(), QString());
    EXPECT_GE(log.count(QtCriticalMsg, QStringLiteral("Cannot find sdk version in")), 1);

    qputenv("FERRY_BUILD_PROP", m_dir.path().toUtf8());
    EXPECT_EQ(sdkVersion(), 0);
}

// Each accessor re-reads the file while its own value is unknown: a missing
// SDK key is reported on every call, and a key that appears later is found.
TEST_F(BuildProp, UnknownValuesAreReadAgain)
{
    write("ro.build.version.release=9\n");
    LogCapture log;
    EXPECT_EQ(sdkVersion(), 0);
    EXPECT_EQ(sdkVersion(), 0);
    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Cannot find sdk version in")), 2);
    EXPECT_EQ(androidRelease(), QStringLiteral("9"));

    write("ro.build.version.release=11\nro.build.version.sdk=30\n");
    EXPECT_EQ(sdkVersion(), 30);
    // Known values stay as first found.
    EXPECT_EQ(androidRelease(), QStringLiteral("9"));

    log.clear();
    write("ro.build.version.sdk=31\n");
    EXPECT_EQ(sdkVersion(), 30);
    EXPECT_EQ(securityPatch(), QString()); // re-read, still missing
    EXPECT_EQ(sdkVersion(), 30);
    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Cannot find sdk version")), 0);
}
