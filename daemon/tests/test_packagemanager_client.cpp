// The package manager client against the simulated runtime (SDK 27, where
// installs go to the package manager itself).
#include "novumpackagemanager.h"
#include "runtimeproperties_p.h"
#include "runtimesimclient.h"
#include "simworld.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

// An install whose own call brings the connection back up must carry the
// observer made by that reconnection, not the one from before the call.
TEST(PackageManagerClient, InstallThatReconnectsCarriesTheNewObserver)
{
    SimWorld sim;
    QString error;
    if (!sim.start(&error))
        GTEST_SKIP() << qPrintable(error);
    const QString dir = QStringLiteral("/tmp/ferry-simworld-%1").arg(QCoreApplication::applicationPid());
    QFile prop(dir + "/build.prop");
    ASSERT_TRUE(prop.open(QIODevice::WriteOnly | QIODevice::Truncate));
    prop.write("ro.build.version.sdk=27\n");
    prop.close();
    resetRuntimePropertiesCache();
    sim.setStartServices("package");
    ASSERT_TRUE(sim.bringUp());

    NovumPackageManager manager;
    ASSERT_TRUE(TestWorld::waitFor([&] { return manager.isConnected(); }, 10000));
    QStringList results;
    QObject::connect(&manager, &NovumPackageManager::installationResultReceived,
                     [&](bool success, const QString &package) { results << package + (success ? " ok" : " failed"); });

    // Gone: the observers go with the connection.
    ASSERT_TRUE(sim.command({{"cmd", "withdraw"}, {"service", "package"}}).value("ok").toBool());
    ASSERT_TRUE(TestWorld::waitFor([&] { return !manager.isConnected(); }, 10000));
    // Back, but the news of it is not processed yet: the install connects.
    const RuntimeSimClient client(dir);
    ASSERT_TRUE(client.command({{"cmd", "publish"}, {"service", "package"}}).value("ok").toBool());
    ASSERT_FALSE(manager.isConnected());
    EXPECT_TRUE(manager.installApk("/data/qrs-staging/app/incoming/com.example.a-1.apk", false));
    EXPECT_TRUE(manager.isConnected());

    const QList<QJsonObject> installs = client.transactions("package", NovumPackageManager::kInstallPackageCode);
    ASSERT_EQ(installs.size(), 1);
    EXPECT_EQ(installs.first().value("args").toArray().at(2).toString().toStdString(), "binder");
    EXPECT_TRUE(TestWorld::waitFor([&] { return !results.isEmpty(); }, 10000));
    EXPECT_EQ(results.join(", ").toStdString(), "com.example.a ok");
    sim.stop();
}

} // namespace
