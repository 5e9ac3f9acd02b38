#include "displayblanking.h"
#include "fakemce.h"
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
        requests = std::make_unique<FakeMce>(mce);
        ASSERT_TRUE(requests->isRegistered());
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
        return requests->blankingRequests();
    }

    PrivateBus bus;
    QDBusConnection mce{QString()};
    QDBusConnection client{QString()};
    std::unique_ptr<FakeMce> requests;
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
    EXPECT_TRUE(TestWorld::waitFor([&] { return requests->blankingRequests().size() >= 3; }, 5000))
        << requests->blankingRequests().join(' ').toStdString();
    blanking.setPreventBlanking(false);
    const QStringList atRelease = settle();
    TestWorld::waitFor([] { return false; }, 100);
    EXPECT_EQ(requests->blankingRequests(), atRelease);
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
