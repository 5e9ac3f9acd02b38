// The notification bridge against a recording notification server on a
// private bus, fed with parcels directly (no runtime: its service stays
// unregistered): what is left from an earlier run, the cap of live
// notifications, and what the end of the bridge closes.
#include "fakenotificationserver.h"
#include "notification.h"
#include "notificationmanager.h"
#include "novumparcel.h"
#include "privatebus.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

PrivateBus *bus()
{
    // Both buses: the runtime's state is asked on the system bus, where
    // nobody answers.
    static PrivateBus *instance = [] {
        auto *b = new PrivateBus;
        qputenv("DBUS_SESSION_BUS_ADDRESS", b->address().toUtf8());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", b->address().toUtf8());
        return b;
    }();
    return instance;
}

class NotificationManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus()->isRunning());
        connection = std::make_unique<QDBusConnection>(bus()->connect("server"));
        thread.start();
        server = std::make_unique<FakeNotificationServer>(*connection);
        server->moveToThread(&thread);
        ASSERT_TRUE(server->isRegistered());
    }
    void TearDown() override
    {
        FakeNotificationServer *s = server.release();
        QMetaObject::invokeMethod(s, [s] { delete s; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus(connection->name());
    }

    void post(NotificationManager &manager, const QString &key)
    {
        ferry::binder::Writer w;
        NovumParcel out(&w);
        out.writeString(key);
        for (const char *s : {"App", "Title", "Text", ""})
            out.writeString(QString::fromLatin1(s));
        out.writeInt32(0);
        for (int i = 0; i < 4; ++i)
            out.writeString(i == 2 ? QStringLiteral("com.example") : QString());
        ferry::binder::Reader r(w.data().data(), w.data().size());
        NovumParcel in(&r);
        EXPECT_TRUE(manager.handleRequest(NotificationManager::PostCode, in));
    }
    QList<uint> liveIds() { return server->liveEntries().keys(); }

    QTemporaryDir dir;
    std::unique_ptr<QDBusConnection> connection;
    std::unique_ptr<FakeNotificationServer> server;
    QThread thread;
};

TEST_F(NotificationManagerTest, LeftoversOfAnEarlierRunAreClosedAtStart)
{
    Notification leftover;
    leftover.setAppName("Some App");
    leftover.publish();
    Notification foreign;
    foreign.setHintValue("x-nemo-owner", "another-program");
    foreign.publish();
    ASSERT_EQ(liveIds().size(), 2);
    NotificationManager manager(dir.filePath("none"), dir.filePath("icons"));
    EXPECT_EQ(liveIds(), QList<uint>{foreign.replacesId()});
    EXPECT_TRUE(QDir(dir.filePath("icons")).exists());
}

TEST_F(NotificationManagerTest, PastTheCapTheOldestGoesAndTheEndClosesAll)
{
    {
        NotificationManager manager(dir.filePath("none"), dir.filePath("icons"));
        manager.setMaxLive(3);
        for (const char *key : {"a", "b", "c"})
            post(manager, key);
        const QList<uint> first = liveIds();
        ASSERT_EQ(first.size(), 3);
        post(manager, "b");   // an update is no new notification
        post(manager, "d");
        EXPECT_EQ(manager.liveCount(), 3);
        EXPECT_EQ(server->closeRequestIds(), QList<uint>{first.first()});
        EXPECT_EQ(liveIds().size(), 3);
        ferry::binder::Reader empty(nullptr, 0);
        NovumParcel none(&empty);
        EXPECT_FALSE(manager.handleRequest(7, none));
    }
    EXPECT_TRUE(liveIds().isEmpty());
}

} // namespace
