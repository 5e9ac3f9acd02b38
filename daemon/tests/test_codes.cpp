#include "novumactivitymanager.h"
#include "novumdeviceidle.h"
#include "novumpackagemanager.h"
#include "novumstoragestatsmanager.h"
#include "novumsurfaceflinger.h"
#include "novumservicemonitor.h"
#include "novumtimezonemonitor.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

QStringList messages;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtCriticalMsg)
        messages << QString::fromLatin1(context.category) + ": " + text;
}

TEST(PackageManagerCodes, PerSdkLevel)
{
    struct Row
    {
        int sdk, remove, cache, clear;
    };
    for (const Row &row : {Row{27, 64, 100, 101}, Row{28, 63, 100, 101}, Row{29, 66, 103, 104}}) {
        EXPECT_EQ(NovumPackageManager::deletePackageCode(row.sdk), row.remove) << row.sdk;
        EXPECT_EQ(NovumPackageManager::deleteCacheFilesCode(row.sdk), row.cache) << row.sdk;
        EXPECT_EQ(NovumPackageManager::clearUserDataCode(row.sdk), row.clear) << row.sdk;
    }
    EXPECT_EQ(NovumPackageManager::kInstallPackageCode, 60);
    EXPECT_EQ(NovumServiceMonitor::LaunchPackageCode, 1);
    EXPECT_EQ(NovumServiceMonitor::InstallCode, 2);
    EXPECT_EQ(NovumServiceMonitor::SetListenerCode, 15);
    EXPECT_EQ(NovumTimezoneMonitor::kSetTimeZoneCode, 3);
}

TEST(AppControlCodes, PerSdkLevel)
{
    struct Row
    {
        int sdk, start, forceStop, stats, whitelisted;
    };
    for (const Row &row : {Row{27, 3, 72, 6, 13}, Row{28, 6, 77, 7, 16}, Row{29, 7, 68, 7, 16}, Row{30, 7, 68, 7, 16}}) {
        EXPECT_EQ(NovumActivityManager::startActivityCode(row.sdk), row.start) << row.sdk;
        EXPECT_EQ(NovumActivityManager::forceStopPackageCode(row.sdk), row.forceStop) << row.sdk;
        EXPECT_EQ(NovumStorageStatsManager::queryStatsForPackageCode(row.sdk), row.stats) << row.sdk;
        EXPECT_EQ(NovumDeviceIdle::isWhitelistedCode(row.sdk), row.whitelisted) << row.sdk;
    }
    EXPECT_EQ(NovumDeviceIdle::kAddWhitelistCode, 1);
    EXPECT_EQ(NovumDeviceIdle::kRemoveWhitelistCode, 2);
    EXPECT_EQ(NovumSurfaceFlinger::kWindowCheckCode, 103);
}

TEST(PackageManagerCodes, UnsupportedLevelsAreLoggedAndUseTheNewest)
{
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collect);
    EXPECT_EQ(NovumPackageManager::deletePackageCode(30), 66);
    EXPECT_EQ(NovumPackageManager::deleteCacheFilesCode(0), 103);
    EXPECT_EQ(NovumPackageManager::clearUserDataCode(26), 104);
    qInstallMessageHandler(previous);
    ASSERT_EQ(messages.size(), 3);
    for (const QString &m : messages)
        EXPECT_EQ(m, "com.kestrel.ferryd.binder: Unsupported android SDK version!");
}

} // namespace
