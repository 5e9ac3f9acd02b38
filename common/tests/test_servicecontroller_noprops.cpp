#include "servicecontroller.h"

#include "testworld.h"

#include <gtest/gtest.h>

// The unit's properties cannot be read at start: the state stays unknown
// until systemd reports the first change, which then repairs it.
TEST(ServiceControllerWithoutProperties, FirstChangeRepairsTheState)
{
    TestWorld world;
    TestWorld::Options options;
    options.systemdArguments << QStringLiteral("--refuse-properties")
                             << QStringLiteral("--unit-file-state=enabled");
    ASSERT_TRUE(world.start(options)) << qPrintable(world.errorString());

    ServiceController *ctl = ServiceController::instance();
    EXPECT_EQ(ctl->serviceState(), QString());
    EXPECT_FALSE(ctl->serviceEnabled());

    // Unknown state lets a start through; the stand-in's answer shows up.
    ctl->controlService(true);
    EXPECT_EQ(world.systemdCallCount(QStringLiteral("StartUnit")), 1);
    EXPECT_TRUE(TestWorld::waitFor([&] { return ctl->serviceState() == QLatin1String("active"); }));
    ASSERT_TRUE(world.setUnitProperties({{QStringLiteral("UnitFileState"), QStringLiteral("enabled")}}));
    EXPECT_TRUE(TestWorld::waitFor([&] { return ctl->serviceEnabled(); }));
}
