#include "faketimedate.h"
#include "privatebus.h"
#include "timedinterface.h"

#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

using Maemo::Timed::Interface;
using Maemo::Timed::WallClock::Info;

namespace {

PrivateBus *systemBus()
{
    static PrivateBus *instance = [] {
        auto *b = new PrivateBus;
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", b->address().toUtf8());
        return b;
    }();
    return instance;
}

class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<QString> zones;
public slots:
    void settingsChanged(const Maemo::Timed::WallClock::Info &info, bool timeChanged)
    {
        Q_UNUSED(timeChanged);
        zones << info.humanReadableTz();
    }
};

class TimedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(systemBus()->isRunning());
        connection = std::make_unique<QDBusConnection>(systemBus()->connect("timedate"));
    }
    void startService(const QString &zone)
    {
        thread.start();
        service = new FakeTimedate(*connection, zone);
        service->moveToThread(&thread);
        ASSERT_TRUE(service->isRegistered());
    }
    void TearDown() override
    {
        if (service) {
            FakeTimedate *s = service;
            QMetaObject::invokeMethod(s, [s] { delete s; }, Qt::BlockingQueuedConnection);
        }
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus("timedate");
    }
    std::unique_ptr<QDBusConnection> connection;
    FakeTimedate *service = nullptr;
    QThread thread;
};

TEST_F(TimedTest, CurrentZoneIsReadFromTheService)
{
    startService("Europe/Helsinki");
    Interface timed;
    bool ok = false;
    EXPECT_EQ(timed.get_wall_clock_info_sync(&ok).humanReadableTz(), "Europe/Helsinki");
    EXPECT_TRUE(ok);
}

TEST_F(TimedTest, NoServiceGivesDefaultSettings)
{
    Interface timed;
    bool ok = true;
    const Info info = timed.get_wall_clock_info_sync(&ok);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(info.isValid());
    EXPECT_EQ(info.humanReadableTz(), QString());
}

TEST_F(TimedTest, ChangesReachConnectedReceivers)
{
    startService("UTC");
    Interface timed;
    Receiver receiver;
    ASSERT_TRUE(timed.settings_changed_connect(&receiver, SLOT(settingsChanged(Maemo::Timed::WallClock::Info, bool))));
    QSignalSpy spy(&timed, &Interface::settings_changed);
    // Let the match rule reach the bus before the first change.
    timed.get_wall_clock_info_sync();

    service->setTimezone("America/New_York");
    ASSERT_TRUE(spy.wait(15000));
    // A change announced only as invalidated is read back from the service.
    service->setTimezone("Asia/Tokyo", true);
    ASSERT_TRUE(spy.wait(15000));
    EXPECT_EQ(receiver.zones, (QList<QString>{"America/New_York", "Asia/Tokyo"}));

    ASSERT_TRUE(timed.settings_changed_disconnect(&receiver, SLOT(settingsChanged(Maemo::Timed::WallClock::Info, bool))));
    service->setTimezone("Europe/Paris");
    ASSERT_TRUE(spy.wait(15000));
    EXPECT_EQ(receiver.zones.size(), 2);
}

} // namespace

#include "test_timedinterface.moc"
