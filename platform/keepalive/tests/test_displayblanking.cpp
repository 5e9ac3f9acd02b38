#include "displayblanking.h"
#include "mcerequestrecorder.h"
#include "privatebus.h"
#include "testworld.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <gtest/gtest.h>

#include <memory>

namespace {

class DisplayBlankingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.errorString());
        // A bus per test: connection names must not reuse the last one's.
        mce = bus.connect(QStringLiteral("mce ") + bus.address());
        ASSERT_TRUE(mce.registerService(QStringLiteral("com.nokia.mce")));
        ASSERT_TRUE(mce.registerObject(QStringLiteral("/com/nokia/mce/request"), &requests, QDBusConnection::ExportAllSlots));
        client = bus.connect(QStringLiteral("client ") + bus.address());
    }

    // Requests arrive in order; a ping through the same connections after
    // them means every earlier one has been handled.
    QStringList settle()
    {
        QDBusMessage ping = QDBusMessage::createMethodCall(QStringLiteral("com.nokia.mce"), QStringLiteral("/"),
                                                           QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
        client.call(ping);
        TestWorld::waitFor([] { return false; }, 20);
        return requests.calls;
    }

    PrivateBus bus;
    QDBusConnection mce{QString()};
    QDBusConnection client{QString()};
    MceRequestRecorder requests;
};

TEST_F(DisplayBlankingTest, PausesWhilePreventingAndCancelsOnRelease)
{
    DisplayBlanking blanking(client, 60000);
    blanking.setPreventBlanking(false);   // nothing to cancel yet
    blanking.setPreventBlanking(true);
    blanking.setPreventBlanking(true);    // already preventing: no second request
    EXPECT_EQ(settle(), QStringList{"pause"});
    blanking.setPreventBlanking(false);
    EXPECT_EQ(settle(), (QStringList{"pause", "cancel"}));
}

TEST_F(DisplayBlankingTest, RenewsThePauseUntilReleased)
{
    DisplayBlanking blanking(client, 30);
    blanking.setPreventBlanking(true);
    EXPECT_TRUE(TestWorld::waitFor([&] { return requests.calls.size() >= 3; }, 5000)) << requests.calls.join(' ').toStdString();
    blanking.setPreventBlanking(false);
    const QStringList atRelease = settle();
    TestWorld::waitFor([] { return false; }, 100);
    EXPECT_EQ(requests.calls, atRelease);
    EXPECT_EQ(atRelease.last(), QStringLiteral("cancel"));
    EXPECT_EQ(atRelease.count(QStringLiteral("pause")), atRelease.size() - 1);
}

TEST_F(DisplayBlankingTest, DestroyingTheObjectEndsThePrevention)
{
    auto blanking = std::make_unique<DisplayBlanking>(client, 60000);
    blanking->setPreventBlanking(true);
    blanking.reset();
    EXPECT_EQ(settle(), (QStringList{"pause", "cancel"}));
}

} // namespace
