// The client side of the binder layer against the simulated runtime and
// the systemd stand-in: connections follow the unit's state, on-demand
// connections drop after 5 s, kept ones survive the service's death.

#include "novumbinderconnection.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "servicecontroller.h"
#include "simworld.h"

#include <QElapsedTimer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

const QString kEcho = QStringLiteral("test.echo");
const QString kEchoInterface = QStringLiteral("ferry.test.IEcho");

SimWorld *g_world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        g_world = new SimWorld;
        QString error;
        ASSERT_TRUE(g_world->start(&error)) << qPrintable(error);
        ServiceController::instance();
    }
    void TearDown() override
    {
        g_world->stop();
        delete g_world;
        g_world = nullptr;
    }
};
const auto *g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

void spin(int ms)
{
    TestWorld::waitFor([] { return false; }, ms);
}

bool waitForSignals(QSignalSpy &spy, int count, int timeoutMs = 15000)
{
    return TestWorld::waitFor([&] { return spy.count() >= count; }, timeoutMs);
}

// echo("text", n) on a connection; returns n + 1 from the reply, or -1.
int32_t echo(NovumBinderConnection &connection, const QString &text, int32_t n)
{
    NovumBinderTransaction *t = connection.newTransaction(1, false);
    if (!t)
        return -1;
    t->writer().writeString(text);
    t->writer().writeInt32(n);
    int32_t result = -1;
    if (t->execute() == 0 && t->reader().readInt32() == 0 && t->reader().readString() == text)
        result = t->reader().readInt32();
    delete t;
    return result;
}

class BinderConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_world);
        g_world->setStartServices(kEcho);
    }
};

} // namespace

TEST_F(BinderConnectionTest, KeptConnectionWaitsForActiveAndForTheName)
{
    ASSERT_TRUE(g_world->bringDown());
    g_world->setStartServices(QStringLiteral("none"));

    NovumBinderConnection connection(kEcho, kEchoInterface, true);
    QSignalSpy spy(&connection, &NovumBinderConnection::connectionChanged);
    spin(200);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(connection.isConnected());

    ASSERT_TRUE(g_world->bringUp());
    spin(300);
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(spy.count(), 0);

    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    ASSERT_TRUE(waitForSignals(spy, 1));
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_TRUE(connection.isConnected());
    EXPECT_EQ(echo(connection, QStringLiteral("kept"), 1), 2);
    // The watch is gone once connected: no second announcement.
    spin(2500);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(BinderConnectionTest, StateCycleReleasesAndReconnects)
{
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());

    NovumBinderConnection connection(kEcho, kEchoInterface, true);
    ASSERT_TRUE(connection.isConnected());
    NovumBinderTransaction *pending = connection.newTransaction(3, false);
    ASSERT_TRUE(pending);

    QStringList states;
    QObject::connect(ServiceController::instance(), &ServiceController::serviceStateChanged, &connection,
                     [&] { states << ServiceController::instance()->serviceState(); });
    QSignalSpy spy(&connection, &NovumBinderConnection::connectionChanged);

    ASSERT_TRUE(g_world->bringDown());
    ASSERT_GE(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(connection.isConnected());
    EXPECT_FALSE(connection.client());
    // A transaction of the lost connection cannot be sent.
    EXPECT_EQ(pending->execute(), -1);

    const int before = spy.count();
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(waitForSignals(spy, before + 1));
    EXPECT_TRUE(spy.last().at(0).toBool());
    EXPECT_TRUE(connection.isConnected());
    EXPECT_EQ(echo(connection, QStringLiteral("again"), 41), 42);
    EXPECT_EQ(states, (QStringList{QStringLiteral("deactivating"), QStringLiteral("inactive"),
                                   QStringLiteral("activating"), QStringLiteral("active")}));
}

TEST_F(BinderConnectionTest, OnDemandConnectsAtFirstUseAndDropsAfterFiveSeconds)
{
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    const int logged = g_world->received(kEcho).size();
    const int references = SimWorld::remoteReferences();

    NovumBinderConnection connection(kEcho, kEchoInterface, false);
    QSignalSpy spy(&connection, &NovumBinderConnection::connectionChanged);
    spin(300);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(g_world->received(kEcho).size(), logged);
    // Not even a reference on the service's object yet.
    EXPECT_EQ(SimWorld::remoteReferences(), references);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(echo(connection, QStringLiteral("first"), 1), 2);
    ASSERT_EQ(spy.count(), 1);
    if (references >= 0) {
        EXPECT_GT(SimWorld::remoteReferences(), references);
    }
    EXPECT_TRUE(spy.at(0).at(0).toBool());

    // Use in between does not push the drop back.
    spin(2000);
    EXPECT_EQ(echo(connection, QStringLiteral("second"), 2), 3);
    NovumBinderTransaction *late = connection.newTransaction(1, false);
    ASSERT_TRUE(late);
    EXPECT_EQ(spy.count(), 1);

    ASSERT_TRUE(waitForSignals(spy, 2, 10000));
    const qint64 elapsed = clock.elapsed();
    EXPECT_FALSE(spy.at(1).at(0).toBool());
    // A coarse Qt timer may fire up to 5 % early.
    EXPECT_GE(elapsed, 4700);
    EXPECT_LT(elapsed, 8000);
    EXPECT_FALSE(connection.isConnected());
    EXPECT_EQ(late->execute(), -1);

    // The next use connects again.
    EXPECT_EQ(echo(connection, QStringLiteral("third"), 3), 4);
    ASSERT_EQ(spy.count(), 3);
    EXPECT_TRUE(spy.at(2).at(0).toBool());
}

TEST_F(BinderConnectionTest, OnDemandConnectionFailsWhileTheNameIsMissing)
{
    ASSERT_TRUE(g_world->bringUp());
    NovumBinderConnection connection(QStringLiteral("test.absent"), kEchoInterface, false);
    EXPECT_EQ(connection.newTransaction(1, false), nullptr);
    EXPECT_FALSE(connection.isConnected());
}

TEST_F(BinderConnectionTest, KilledRemoteIsNoticedAndReconnected)
{
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    NovumBinderConnection connection(kEcho, kEchoInterface, true);
    ASSERT_TRUE(connection.isConnected());
    QSignalSpy spy(&connection, &NovumBinderConnection::connectionChanged);

    // Dies and stays away: disconnected, waiting for the name.
    ASSERT_TRUE(g_world->command({{"cmd", "kill-remote"}, {"service", kEcho}}).value("ok").toBool());
    ASSERT_TRUE(waitForSignals(spy, 1));
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(connection.isConnected());

    // Comes back: the watch connects again.
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    ASSERT_TRUE(waitForSignals(spy, 2));
    EXPECT_TRUE(spy.at(1).at(0).toBool());
    EXPECT_EQ(echo(connection, QStringLiteral("back"), 7), 8);

    // A crash with an immediate restart is a disconnect and a reconnect.
    ASSERT_TRUE(g_world->command({{"cmd", "kill-remote"}, {"service", kEcho}, {"republish", true}}).value("ok").toBool());
    ASSERT_TRUE(waitForSignals(spy, 4));
    EXPECT_FALSE(spy.at(2).at(0).toBool());
    EXPECT_TRUE(spy.at(3).at(0).toBool());
    EXPECT_EQ(echo(connection, QStringLiteral("back again"), 8), 9);
}

TEST_F(BinderConnectionTest, TransactionsExecuteOnceAndOneWayHasNoReply)
{
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    NovumBinderConnection connection(kEcho, kEchoInterface, true);
    ASSERT_TRUE(connection.isConnected());

    NovumBinderTransaction *t = connection.newTransaction(1, false);
    ASSERT_TRUE(t);
    t->writer().writeString(QStringLiteral("once"));
    t->writer().writeInt32(10);
    EXPECT_FALSE(t->reader().hasReader());
    ASSERT_EQ(t->execute(), 0);
    EXPECT_EQ(t->reader().readInt32(), 0);
    EXPECT_EQ(t->execute(), -1);
    // The first reply stays readable.
    EXPECT_EQ(t->reader().readString(), QStringLiteral("once"));
    EXPECT_EQ(t->reader().readInt32(), 11);
    delete t;

    const int before = g_world->received(kEcho).size();
    NovumBinderTransaction *oneway = connection.newTransaction(2, true);
    ASSERT_TRUE(oneway);
    oneway->writer().writeString(QStringLiteral("fire and forget"));
    EXPECT_EQ(oneway->execute(), 0);
    EXPECT_FALSE(oneway->reader().hasReader());
    EXPECT_EQ(oneway->execute(), -1);
    ASSERT_TRUE(TestWorld::waitFor([&] { return g_world->received(kEcho).size() > before; }, 5000));
    const QJsonObject line = g_world->received(kEcho).last();
    EXPECT_EQ(line.value("code").toInt(), 2);
    EXPECT_TRUE(line.value("oneway").toBool());
    EXPECT_EQ(line.value("args").toArray().at(0).toString(), QStringLiteral("fire and forget"));
    // Sent exactly once.
    spin(200);
    EXPECT_EQ(g_world->received(kEcho).size(), before + 1);

    NovumBinderTransaction orphan(nullptr, 1, false);
    EXPECT_EQ(orphan.execute(), -1);
}
