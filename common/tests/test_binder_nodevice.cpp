// The binder layer where the runtime's binder device is missing: nothing
// connects or registers, every request fails cleanly, and the failures are
// logged. Runs natively (these machines have no binder driver).

#include "logcapture.h"
#include "novumbindercallback.h"
#include "novumbinderconnection.h"
#include "novumbinderrequesthandler.h"
#include "novumbinderservice.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "servicecontroller.h"
#include "testworld.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

TestWorld *g_world = nullptr;

class BinderNoDeviceTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        g_world = new TestWorld;
        if (!g_world->start())
            qFatal("Cannot start the test world: %s", qPrintable(g_world->errorString()));
    }
    static void TearDownTestSuite()
    {
        delete g_world;
        g_world = nullptr;
    }
    void SetUp() override
    {
        if (QFile::exists(QStringLiteral("/dev/vororoveredi")))
            GTEST_SKIP() << "a binder device is present";
    }

    static bool setState(bool up)
    {
        ServiceController::instance()->controlService(up);
        const QString want = up ? QStringLiteral("active") : QStringLiteral("inactive");
        return TestWorld::waitFor([&] { return ServiceController::instance()->serviceState() == want; });
    }
};

class Service : public NovumBinderService
{
public:
    Service()
        : NovumBinderService(QStringLiteral("ferry.test.host"), QStringLiteral("ferry.test.IHost"),
                             QStringLiteral("/dev/vororoveredi"))
    {
    }
};

class Handler : public NovumBinderRequestHandler
{
public:
    bool processRequest(int32_t, NovumParcel &, NovumParcel &) override { return true; }
};

} // namespace

TEST_F(BinderNoDeviceTest, ConnectionsStayDownAndSayWhy)
{
    ASSERT_TRUE(setState(false));
    LogCapture log;
    NovumBinderConnection kept(QStringLiteral("package"), QStringLiteral("android.content.pm.IPackageManager"), true);
    QSignalSpy spy(&kept, &NovumBinderConnection::connectionChanged);
    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Could not get service manager for")), 0);

    ASSERT_TRUE(setState(true));
    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Could not get service manager for")), 1);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_FALSE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(kept.isConnected());
    EXPECT_FALSE(kept.client());
    EXPECT_EQ(kept.newTransaction(1, false), nullptr);
    Handler handler;
    EXPECT_EQ(kept.newCallback(QStringLiteral("x"), &handler), nullptr);

    NovumBinderConnection onDemand(QStringLiteral("deviceidle"), QStringLiteral("android.os.IDeviceIdleController"), false);
    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Could not get service manager for")), 2);
    EXPECT_EQ(onDemand.newTransaction(1, false), nullptr);
}

TEST_F(BinderNoDeviceTest, ServicesStayUnregisteredAndSayWhy)
{
    ASSERT_TRUE(setState(true));
    LogCapture log;
    Service service;
    EXPECT_FALSE(service.isRegistered());
    EXPECT_EQ(log.count(QtWarningMsg, QStringLiteral("Unable to find Novum service manager for")), 1);
    // Tried again on the next start, not on every state change.
    ASSERT_TRUE(setState(false));
    EXPECT_EQ(log.count(QtWarningMsg, QStringLiteral("Unable to find Novum service manager for")), 1);
    ASSERT_TRUE(setState(true));
    EXPECT_EQ(log.count(QtWarningMsg, QStringLiteral("Unable to find Novum service manager for")), 2);
    EXPECT_FALSE(service.isRegistered());
}

TEST_F(BinderNoDeviceTest, TransactionsWithoutClientFail)
{
    LogCapture log;
    {
        NovumBinderTransaction transaction(nullptr, 7, false);
        transaction.writer().writeString(QStringLiteral("dropped"));
        EXPECT_FALSE(transaction.writer().hasWriter());
        EXPECT_EQ(transaction.execute(), -1);
        EXPECT_FALSE(transaction.reader().hasReader());
        EXPECT_EQ(transaction.reader().readInt32(), -1);
    }
    EXPECT_EQ(log.count(QtDebugMsg, QStringLiteral("Destroying transaction 7")), 1);
}
