#include "policyvalue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using Halcyon::PolicyValue;

namespace {

class PolicyValueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("policy");
        qputenv("FERRY_POLICY_FILE", path.toLocal8Bit());
    }
    void TearDown() override { qunsetenv("FERRY_POLICY_FILE"); }
    void write(const QByteArray &content)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QVariant installAllowed() { return PolicyValue(PolicyValue::ApplicationInstallationEnabled).value(); }

    QTemporaryDir dir;
    QString path;
};

TEST_F(PolicyValueTest, NoPolicyConfiguredAllowsInstallation)
{
    EXPECT_EQ(installAllowed(), QVariant(true));
    write("# nothing set\n7 = false\n");
    EXPECT_EQ(installAllowed(), QVariant(true));
}

TEST_F(PolicyValueTest, ExplicitValuesAreRead)
{
    write("# managed device\n 6 = false \n");
    EXPECT_EQ(installAllowed(), QVariant(false));
    write("6=yes\n");
    EXPECT_EQ(installAllowed(), QVariant(true));
    write("6=1\n6=0\n");   // the last line wins
    EXPECT_EQ(installAllowed(), QVariant(false));
    write("6 = TRUE");     // no final newline
    EXPECT_EQ(installAllowed(), QVariant(true));
}

TEST_F(PolicyValueTest, DamagedPolicyFailsClosed)
{
    write("6 = perhaps\n");
    EXPECT_EQ(installAllowed(), QVariant(false));
    write("garbage line\n=true\nsix=true\n");   // malformed lines are skipped, key unset
    EXPECT_EQ(installAllowed(), QVariant(true));
    // A directory where the file should be cannot be read.
    ASSERT_TRUE(QDir(dir.path()).mkdir("policy.d"));
    qputenv("FERRY_POLICY_FILE", dir.filePath("policy.d").toLocal8Bit());
    EXPECT_EQ(installAllowed(), QVariant(false));
}

TEST_F(PolicyValueTest, UnknownKeysGiveTheirTextOrNothing)
{
    EXPECT_FALSE(PolicyValue(42).value().isValid());
    write("42 = something\n");
    EXPECT_EQ(PolicyValue(42).value(), QVariant(QString("something")));
}

} // namespace
