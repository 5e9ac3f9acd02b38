#include "fakenotificationserver.h"
#include "notification.h"
#include "privatebus.h"

#include <QDBusArgument>
#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// One private session bus for the whole program: QDBusConnection::sessionBus()
// is made once per process from DBUS_SESSION_BUS_ADDRESS.
PrivateBus *bus()
{
    static PrivateBus *instance = [] {
        auto *b = new PrivateBus;
        qputenv("DBUS_SESSION_BUS_ADDRESS", b->address().toUtf8());
        return b;
    }();
    return instance;
}

class NotificationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus()->isRunning());
        serverConnection = std::make_unique<QDBusConnection>(bus()->connect(QString("server%1").arg(counter++)));
        ASSERT_TRUE(serverConnection->isConnected());
        // The client's calls block the main thread: the server answers from
        // a thread of its own.
        serverThread.start();
        server = std::make_unique<FakeNotificationServer>(*serverConnection);
        server->moveToThread(&serverThread);
        ASSERT_TRUE(server->isRegistered());
    }
    void TearDown() override
    {
        stopServer();
        QDBusConnection::disconnectFromBus(serverConnection->name());
    }
    void stopServer()
    {
        if (server) {
            FakeNotificationServer *s = server.release();
            QMetaObject::invokeMethod(s, [s] { delete s; }, Qt::BlockingQueuedConnection);
        }
        serverThread.quit();
        serverThread.wait();
    }
    bool waitFor(QSignalSpy &spy, int count = 1)
    {
        for (int i = 0; i < 50 && spy.count() < count; ++i)
            spy.wait(100);
        return spy.count() >= count;
    }

    static int counter;
    std::unique_ptr<QDBusConnection> serverConnection;
    std::unique_ptr<FakeNotificationServer> server;
    QThread serverThread;
};
int NotificationTest::counter = 0;

TEST_F(NotificationTest, PublishSendsStandardArgumentsAndHints)
{
    Notification n;
    n.setAppName("ferryd-ap-name");
    n.setAppIcon("icon-s-android");
    n.setIcon("icon-s-android");
    n.setSummary("Installed");
    n.setBody("com.example.app");
    n.setIsTransient(true);
    n.setUrgency(Notification::Critical);
    n.setItemCount(3);
    n.setPreviewSummary("ps");
    n.setPreviewBody("pb");
    n.setCategory("chat");
    n.setHintValue("x-nemo-origin-package", "com.example.app");
    const QDateTime stamp = QDateTime::fromString("2026-01-02T03:04:05Z", Qt::ISODate);
    n.setTimestamp(stamp);
    n.publish();

    ASSERT_EQ(server->published.size(), 1);
    const auto &e = server->published.first();
    EXPECT_EQ(e.appName, "ferryd-ap-name");
    EXPECT_EQ(e.appIcon, "icon-s-android");
    EXPECT_EQ(e.summary, "Installed");
    EXPECT_EQ(e.body, "com.example.app");
    EXPECT_EQ(e.replacesId, 0u);
    EXPECT_EQ(e.expireTimeout, -1);
    EXPECT_EQ(e.hints.value("image-path").toString(), "icon-s-android");
    EXPECT_EQ(e.hints.value("transient").toBool(), true);
    // Urgency goes out as a byte, as the protocol requires.
    EXPECT_EQ(e.hints.value("urgency").userType(), int(QMetaType::UChar));
    EXPECT_EQ(e.hints.value("urgency").toInt(), 2);
    EXPECT_EQ(e.hints.value("x-nemo-item-count").toInt(), 3);
    EXPECT_EQ(e.hints.value("x-nemo-preview-summary").toString(), "ps");
    EXPECT_EQ(e.hints.value("x-nemo-preview-body").toString(), "pb");
    EXPECT_EQ(e.hints.value("category").toString(), "chat");
    EXPECT_EQ(e.hints.value("x-nemo-origin-package").toString(), "com.example.app");
    EXPECT_EQ(QDateTime::fromString(e.hints.value("x-nemo-timestamp").toString(), Qt::ISODate), stamp);
    EXPECT_NE(n.replacesId(), 0u);
    EXPECT_EQ(n.timestamp(), stamp);
    EXPECT_EQ(n.itemCount(), 3);
    EXPECT_EQ(n.urgency(), Notification::Critical);
}

TEST_F(NotificationTest, RepublishReplacesAndCloseReportsReason)
{
    Notification n;
    n.setSummary("first");
    n.publish();
    const uint id = n.replacesId();
    ASSERT_NE(id, 0u);
    n.setSummary("second");
    n.publish();
    ASSERT_EQ(server->published.size(), 2);
    EXPECT_EQ(server->published.at(1).replacesId, id);
    EXPECT_EQ(n.replacesId(), id);
    EXPECT_EQ(server->live.size(), 1);

    QSignalSpy closed(&n, &Notification::closed);
    n.close();
    ASSERT_TRUE(waitFor(closed));
    EXPECT_EQ(closed.first().first().toUInt(), 3u);
    EXPECT_EQ(n.replacesId(), 0u);
    EXPECT_EQ(server->closeRequests, QList<uint>{id});
}

TEST_F(NotificationTest, ActionsAndClosesReachOnlyTheirNotification)
{
    Notification a, b;
    a.setRemoteActions({Notification::remoteAction("default", "Open", "org.example", "/x", "org.example.I",
                                                    "open", {QString("arg")}),
                        Notification::remoteAction("app", "")});
    a.publish();
    b.publish();
    ASSERT_EQ(server->published.size(), 2);
    EXPECT_EQ(server->published.first().actions, (QStringList{"default", "Open", "app", ""}));
    const QString call = server->published.first().hints.value("x-nemo-remote-action-default").toString();
    EXPECT_TRUE(call.startsWith("org.example /x org.example.I open ")) << qPrintable(call);
    EXPECT_FALSE(server->published.first().hints.contains("x-nemo-remote-action-app"));

    QSignalSpy actionA(&a, &Notification::actionInvoked), actionB(&b, &Notification::actionInvoked);
    QSignalSpy closedA(&a, &Notification::closed), closedB(&b, &Notification::closed);
    server->invokeAction(a.replacesId(), "app");
    ASSERT_TRUE(waitFor(actionA));
    EXPECT_EQ(actionA.first().first().toString(), "app");
    server->closeFromServer(b.replacesId(), 2);
    ASSERT_TRUE(waitFor(closedB));
    EXPECT_EQ(closedB.first().first().toUInt(), 2u);
    QCoreApplication::processEvents();
    EXPECT_EQ(actionB.count(), 0);
    EXPECT_EQ(closedA.count(), 0);
    // Ids are not reused for a closed notification: a stray signal for the
    // old id reaches nobody.
    server->invokeAction(1000, "app");
    QTest::qWait(100);
    EXPECT_EQ(actionA.count(), 1);
}

TEST_F(NotificationTest, ListingComesFromTheServer)
{
    Notification a;
    a.setAppName(QCoreApplication::applicationName());
    a.setSummary("mine");
    a.setHintValue("x-nemo-origin-key", "k1");
    a.publish();
    // Published by another program.
    Notification other;
    other.setAppName("someone-else");
    other.setHintValue("x-nemo-owner", "someone-else");
    other.publish();
    // Ours, under the name of the app it speaks for.
    Notification forApp;
    forApp.setAppName("Some App");
    forApp.setSummary("for app");
    forApp.publish();
    ASSERT_EQ(server->published.size(), 3);
    EXPECT_EQ(server->published.at(2).hints.value("x-nemo-owner").toString(), QCoreApplication::applicationName());

    const QList<QObject *> list = Notification::notifications();
    ASSERT_EQ(list.size(), 2);
    auto *listed = qobject_cast<Notification *>(list.first());
    if (listed && listed->replacesId() != a.replacesId())
        listed = qobject_cast<Notification *>(list.last());
    ASSERT_TRUE(listed);
    EXPECT_EQ(listed->summary(), "mine");
    EXPECT_EQ(listed->replacesId(), a.replacesId());
    EXPECT_EQ(listed->hintValue("x-nemo-origin-key").toString(), "k1");
    // Closing the listed copy closes the server's notification.
    listed->close();
    EXPECT_FALSE(server->live.contains(a.replacesId()));
    qDeleteAll(list);
}

TEST_F(NotificationTest, NoServerMeansNoIdAndNoCrash)
{
    stopServer();
    Notification n;
    n.setSummary("lost");
    n.publish();
    EXPECT_EQ(n.replacesId(), 0u);
    n.close();
    EXPECT_TRUE(Notification::notifications().isEmpty());
}

TEST_F(NotificationTest, SilentServerDoesNotHoldUpThePublisher)
{
    server->setStalled(true);
    Notification n;
    n.setSummary("stuck");
    QElapsedTimer timer;
    timer.start();
    n.publish();
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(n.replacesId(), 0u);
    server->setStalled(false);
}

TEST_F(NotificationTest, IconDataIsSentAsImageStructure)
{
    QImage image(2, 3, QImage::Format_ARGB32);
    image.fill(Qt::red);
    Notification n;
    n.setIconData(image);
    n.publish();
    ASSERT_EQ(server->published.size(), 1);
    const QVariant hint = server->published.first().hints.value("image-data");
    ASSERT_TRUE(hint.canConvert<QDBusArgument>());
    const QDBusArgument arg = hint.value<QDBusArgument>();
    EXPECT_EQ(arg.currentSignature(), "(iiibiiay)");
    int w = 0, h = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray bytes;
    arg.beginStructure();
    arg >> w >> h >> stride >> alpha >> bits >> channels >> bytes;
    arg.endStructure();
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 3);
    EXPECT_TRUE(alpha);
    EXPECT_EQ(channels, 4);
    ASSERT_EQ(bytes.size(), stride * h);
    EXPECT_EQ(uchar(bytes.at(0)), 255);   // red
    EXPECT_EQ(uchar(bytes.at(1)), 0);
}

} // namespace
