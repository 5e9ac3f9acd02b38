#include "fakepackagekit.h"
#include "privatebus.h"
#include "rpmremoval.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// PackageKit-Qt talks to the system bus of the process: a private one.
PrivateBus *systemBus()
{
    static PrivateBus *bus = [] {
        auto *b = new PrivateBus;
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", b->address().toUtf8());
        return b;
    }();
    return bus;
}

bool waitUntil(const std::function<bool()> &condition)
{
    for (int i = 0; i < 200 && !condition(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return condition();
}

class RpmRemovalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(systemBus()->isRunning());
        ASSERT_TRUE(dir.isValid());
        packaged = dir.path() + "/packaged/";
        QDir().mkpath(packaged);
        thread.start();
        connection = std::make_unique<QDBusConnection>(systemBus()->connect("packagekit"));
        packageKit = new FakePackageKit(*connection);
        packageKit->moveToThread(&thread);
        ASSERT_TRUE(packageKit->isRegistered());
    }
    void TearDown() override
    {
        FakePackageKit *p = packageKit;
        QMetaObject::invokeMethod(p, [p] { delete p; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
        QDBusConnection::disconnectFromBus("packagekit");
    }
    void markPackaged(const QString &name)
    {
        QFile f(packaged + name + ".apk");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QStringList members()
    {
        QStringList result;
        for (const auto &call : packageKit->transactionCalls()) {
            if (call.member == "Resolve" || call.member == "RemovePackages")
                result << call.member;
        }
        return result;
    }

    QTemporaryDir dir;
    QString packaged;
    QThread thread;
    std::unique_ptr<QDBusConnection> connection;
    FakePackageKit *packageKit = nullptr;
};

TEST_F(RpmRemovalTest, PackagedAppIsResolvedAndRemoved)
{
    markPackaged("com.example.app");
    packageKit->setInstalled({"marina-apk-com.example.app"});
    EXPECT_TRUE(requestRpmRemoval("/some/where/com.example.app-12.apk", packaged));
    ASSERT_TRUE(waitUntil([&] { return members().contains("RemovePackages"); })) << qPrintable(members().join(","));
    const auto calls = packageKit->transactionCalls();
    QVariantList resolve, remove;
    for (const auto &call : calls) {
        if (call.member == "Resolve")
            resolve = call.arguments;
        if (call.member == "RemovePackages")
            remove = call.arguments;
    }
    ASSERT_EQ(resolve.size(), 2);
    EXPECT_EQ(resolve.at(0).toULongLong(), 4u);   // installed packages only
    EXPECT_EQ(resolve.at(1).toStringList(), QStringList{"marina-apk-com.example.app"});
    ASSERT_EQ(remove.size(), 4);
    EXPECT_EQ(remove.at(0).toULongLong(), 2u);    // only trusted
    EXPECT_EQ(remove.at(1).toStringList(), QStringList{"marina-apk-com.example.app;1.0;noarch;installed"});
    EXPECT_EQ(remove.at(2).toBool(), false);      // no dependencies
    EXPECT_EQ(remove.at(3).toBool(), false);      // no auto-remove
}

TEST_F(RpmRemovalTest, NothingForAppsThatCameWithoutRpm)
{
    EXPECT_FALSE(requestRpmRemoval("com.example.other", packaged));
    EXPECT_FALSE(requestRpmRemoval("", packaged));
    QCoreApplication::processEvents();
    EXPECT_EQ(packageKit->createdTransactions(), 0);

    // Packaged marker but PackageKit knows no such package: resolved, nothing removed.
    markPackaged("com.example.gone");
    EXPECT_TRUE(requestRpmRemoval("com.example.gone", packaged));
    ASSERT_TRUE(waitUntil([&] { return members().contains("Resolve"); }));
    waitUntil([] { return false; });   // give a stray removal time to show
    EXPECT_EQ(members(), QStringList{"Resolve"});
}

} // namespace
