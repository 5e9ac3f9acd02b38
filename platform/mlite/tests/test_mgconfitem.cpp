#include "dconfsession.h"
#include "mgconfitem.h"
#include "privatebus.h"
#include "testworld.h"

#include <QPoint>
#include <QProcess>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

PrivateBus *bus = nullptr;
DconfSession *session = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        bus = new PrivateBus;
        ASSERT_TRUE(bus->isRunning()) << qPrintable(bus->errorString());
        session = new DconfSession;
        QString error;
        ASSERT_TRUE(session->start(bus->address(), &error)) << qPrintable(error);
    }
    void TearDown() override
    {
        delete session;
        // The bus stays up until the process ends: GLib ends a process
        // whose session bus goes away under its dconf client.
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

// The dconf command-line tool: another process on the same database.
QString dconf(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("dconf"), arguments);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return QStringLiteral("<failed: %1>").arg(QString::fromUtf8(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

TEST(MGConfItem, ValuesRoundTripThroughTheDatabase)
{
    const struct {
        const char *key;
        QVariant value;
        const char *stored;   // as the dconf tool prints it
    } cases[] = {
        {"/ferrytest/bool", true, "true"},
        {"/ferrytest/int", 42, "42"},
        {"/ferrytest/double", 2.5, "2.5"},
        {"/ferrytest/string", QStringLiteral("landscape"), "'landscape'"},
        {"/ferrytest/list", QStringList{"a", "b"}, "['a', 'b']"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        MGConfItem item(QString::fromLatin1(c.key));
        EXPECT_FALSE(item.value().isValid());
        EXPECT_EQ(item.value(7), QVariant(7));
        item.set(c.value);
        EXPECT_EQ(item.value(), c.value);   // seen at once by the writer
        ASSERT_TRUE(item.sync());
        EXPECT_EQ(dconf({"read", c.key}), QLatin1String(c.stored));
        item.unset();
        item.sync();
        EXPECT_FALSE(item.value().isValid());
        EXPECT_EQ(dconf({"read", c.key}), QString());
    }
}

TEST(MGConfItem, ChangesByAnotherProcessAreSignalled)
{
    MGConfItem lock(QStringLiteral("/lipstick/orientationLock"));
    MGConfItem other(QStringLiteral("/lipstick/other"));
    QSignalSpy lockChanged(&lock, &MGConfItem::valueChanged);
    QSignalSpy otherChanged(&other, &MGConfItem::valueChanged);

    ASSERT_EQ(dconf({"write", "/lipstick/orientationLock", "'landscape'"}), QString());
    ASSERT_TRUE(TestWorld::waitFor([&] { return lockChanged.count() == 1; }, 5000));
    EXPECT_EQ(lock.value().toString(), QStringLiteral("landscape"));

    // The same value again changes nothing; resetting the whole directory
    // is a change of every key in it.
    ASSERT_EQ(dconf({"write", "/lipstick/orientationLock", "'landscape'"}), QString());
    ASSERT_EQ(dconf({"write", "/lipstick/other", "1"}), QString());
    ASSERT_TRUE(TestWorld::waitFor([&] { return otherChanged.count() == 1; }, 5000));
    EXPECT_EQ(lockChanged.count(), 1);
    ASSERT_EQ(dconf({"reset", "-f", "/lipstick/"}), QString());
    ASSERT_TRUE(TestWorld::waitFor([&] { return lockChanged.count() == 2 && otherChanged.count() == 2; }, 5000));
    EXPECT_FALSE(lock.value().isValid());
}

TEST(MGConfItem, OwnWritesAreSignalledToEveryItemOfTheKey)
{
    MGConfItem writer(QStringLiteral("/ferrytest/shared"));
    MGConfItem reader(QStringLiteral("/ferrytest/shared"));
    QSignalSpy changed(&reader, &MGConfItem::valueChanged);
    writer.set(QStringLiteral("portrait"));
    EXPECT_TRUE(TestWorld::waitFor([&] { return changed.count() == 1; }, 5000));
    EXPECT_EQ(reader.value().toString(), QStringLiteral("portrait"));
    writer.unset();
    writer.sync();
}

TEST(MGConfItem, MalformedKeysAndUnstorableValuesAreRefused)
{
    for (const char *key : {"", "relative", "/dir/", "/a//b"}) {
        MGConfItem item(QString::fromLatin1(key));
        item.set(1);
        EXPECT_FALSE(item.value().isValid()) << key;
    }
    MGConfItem item(QStringLiteral("/ferrytest/unstorable"));
    item.set(QVariant::fromValue(QPoint(1, 2)));
    item.set(QString(QStringLiteral("a%1b")).arg(QChar(0)));
    item.sync();
    EXPECT_FALSE(item.value().isValid());
}

} // namespace
