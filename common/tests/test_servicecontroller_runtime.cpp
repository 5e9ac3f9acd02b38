#include "servicecontroller.h"

#include "testworld.h"

#include <csignal>

#include <gtest/gtest.h>

// The whole cycle against the stand-in running a real command that takes a
// moment to come up.
TEST(ServiceControllerRuntime, StartStopAndCrash)
{
    TestWorld world;
    TestWorld::Options options;
    options.runtimeCommand = QStringLiteral("sleep 0.2; touch \"$FERRY_RUNTIME_READY_FILE\"; exec sleep 600");
    ASSERT_TRUE(world.start(options)) << qPrintable(world.errorString());

    ServiceController *ctl = ServiceController::instance();
    QStringList states;
    QObject::connect(ctl, &ServiceController::serviceStateChanged, [&] { states << ctl->serviceState(); });
    ASSERT_EQ(ctl->serviceState(), QStringLiteral("inactive"));
    auto reach = [&](const char *state) {
        return TestWorld::waitFor([&] { return ctl->serviceState() == QLatin1String(state); });
    };

    ctl->controlService(true);
    ASSERT_TRUE(reach("active"));
    EXPECT_EQ(states, (QStringList{"activating", "active"}));
    const qint64 pid = world.runtimePid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(::kill(pid_t(pid), 0), 0);
    ctl->controlService(true);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("StartUnit")), 1);

    states.clear();
    ctl->controlService(false);
    ASSERT_TRUE(reach("inactive"));
    EXPECT_EQ(states, (QStringList{"deactivating", "inactive"}));
    EXPECT_EQ(world.runtimePid(), 0);
    EXPECT_TRUE(TestWorld::waitFor([&] { return ::kill(pid_t(pid), 0) != 0; }, 2000));

    // The runtime dies unasked: the unit fails, and both directions are
    // let through from there.
    ctl->controlService(true);
    ASSERT_TRUE(reach("active"));
    ASSERT_TRUE(world.killRuntime(SIGKILL));
    ASSERT_TRUE(reach("failed"));
    ASSERT_TRUE(world.clearSystemdCalls());
    ctl->controlService(false);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("StopUnit")), 1);
    states.clear();
    ctl->controlService(true);
    ASSERT_TRUE(reach("active"));
    EXPECT_EQ(states, (QStringList{"activating", "active"}));
    ctl->controlService(false);
    ASSERT_TRUE(reach("inactive"));
}
