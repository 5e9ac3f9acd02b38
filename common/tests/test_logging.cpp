#include "logging.h"

#include <gtest/gtest.h>

// Debug lines of every area must stay quiet unless a user turns them on,
// while warnings always get through.
TEST(Logging, DebugOffWarningsOnByDefault)
{
    const QLoggingCategory *all[] = {&lcService(), &lcBinder(), &lcParcel(), &lcConfig(),
                                     &lcDaemon(), &lcLauncher(), &lcGnss(), &lcSensor(),
                                     &lcVibrate(), &lcMpris(), &lcTracker(), &lcWifi(),
                                     &lcNotif(), &lcContacts()};
    for (const QLoggingCategory *c : all) {
        EXPECT_TRUE(QByteArray(c->categoryName()).startsWith("com.kestrel.ferryd."));
        EXPECT_FALSE(c->isDebugEnabled()) << c->categoryName();
        EXPECT_TRUE(c->isWarningEnabled()) << c->categoryName();
    }
}
