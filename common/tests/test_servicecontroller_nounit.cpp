#include "servicecontroller.h"

#include "logcapture.h"
#include "testworld.h"

#include <gtest/gtest.h>

// systemd does not know the unit: the controller stays "invalid" for good,
// yet start and stop requests still go out (systemd may know the unit by
// then, or refuse).
TEST(ServiceControllerWithoutUnit, StaysInvalidAndLetsRequestsThrough)
{
    TestWorld world;
    TestWorld::Options options;
    options.systemdArguments << QStringLiteral("--no-unit");
    ASSERT_TRUE(world.start(options)) << qPrintable(world.errorString());

    LogCapture log;
    ServiceController *ctl = ServiceController::instance();
    EXPECT_EQ(ctl->serviceState(), QStringLiteral("invalid"));
    EXPECT_FALSE(ctl->serviceEnabled());
    EXPECT_EQ(log.count(QtCriticalMsg, QStringLiteral("Could not find Novum Dalvik service: Unit rididirevov.service not found.")), 1)
        << qPrintable(log.all().join('\n'));

    EXPECT_EQ(world.systemdCallCount(QStringLiteral("Subscribe")), 1);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("LoadUnit")), 1);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("GetAll")), 0);

    ctl->controlService(true);
    ctl->controlService(false);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("StartUnit")), 1);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("StopUnit")), 1);
    EXPECT_EQ(ServiceController::instance()->serviceState(), QStringLiteral("invalid"));
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("LoadUnit")), 1);
}
