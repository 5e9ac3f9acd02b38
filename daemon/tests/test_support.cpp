#include "callerprivilege.h"
#include "installfailuretext.h"
#include "packagemod.h"
#include "rpmname.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

TEST(RpmNameForApk, StripsDirectoryExtensionAndVersion)
{
    EXPECT_EQ(rpmNameForApk("/a/b/com.example.app-12.apk"), "com.example.app");
    EXPECT_EQ(rpmNameForApk("com.example.app"), "com.example.app");
    EXPECT_EQ(rpmNameForApk("com.example.app.apk"), "com.example.app");
    EXPECT_EQ(rpmNameForApk("app-3.apk"), "app");
    EXPECT_EQ(rpmNameForApk("/x/y/app.APK"), "app.APK");       // case-sensitive extension
    EXPECT_EQ(rpmNameForApk("/dir-1/app.apk"), "app");          // '-' in the directory does not count
    EXPECT_EQ(rpmNameForApk("a-b-c.apk"), "a");                 // cut at the first '-'
    EXPECT_EQ(rpmNameForApk("/x/"), "");
    EXPECT_EQ(rpmNameForApk(""), "");
    EXPECT_EQ(rpmNameForApk(".apk"), "");
}

TEST(DrainPackageQueue, PerformsEachFilenameOnceInOrder)
{
    QList<PackageMod> queue{
        {"com.a", false, true},
        {"/data/x.apk", true, false},
        {"com.a", false, true},     // duplicate removal
        {"com.b", false, true},
        {"com.b", true, false},     // install of a name already removed: dropped
        {"/data/x.apk", true, true},
    };
    QStringList performed;
    QList<bool> kinds;
    drainPackageQueue(queue, [&](const PackageMod &mod) {
        performed << mod.filename;
        kinds << mod.install;
    });
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(performed, (QStringList{"com.a", "/data/x.apk", "com.b"}));
    EXPECT_EQ(kinds, (QList<bool>{false, true, false}));

    // Records added while draining are drained as well, with the same memory.
    queue = {{"one", true, false}};
    performed.clear();
    drainPackageQueue(queue, [&](const PackageMod &mod) {
        performed << mod.filename;
        if (mod.filename == "one")
            queue << PackageMod{"one", false, true} << PackageMod{"two", true, false};
    });
    EXPECT_EQ(performed, (QStringList{"one", "two"}));

    // Nothing remembered between drains.
    queue = {{"one", true, false}};
    performed.clear();
    drainPackageQueue(queue, [&](const PackageMod &mod) { performed << mod.filename; });
    EXPECT_EQ(performed, QStringList{"one"});
}

TEST(InstallFailureText, EveryCodeMapsToItsId)
{
    auto expected = [](int code) -> QString {
        switch (code) {
        case -115: case -22: case -21:
            return "Aborted";
        case -113: case -111: case -17: case -16: case -14: case -12: case -9:
            return "ferryd-install-fail-incompat";
        case -112: case -25: case -24: case -13: case -10: case -8: case -7: case -6: case -5: case -1:
            return "ferryd-install-fail-conflict";
        case -26: case -23: case -15: case -11: case -3: case -2:
            return "ferryd-install-fail-invalid";
        case -20: case -19: case -18: case -4:
            return "ferryd-install-fail-storage";
        default:
            return (code >= -109 && code <= -100) ? "ferryd-install-fail-invalid" : "ferryd-install-fail-other";
        }
    };
    for (int code = -120; code <= 5; ++code)
        EXPECT_EQ(QString(installFailureTextId(code)), expected(code)) << code;
    EXPECT_STREQ(installFailureTextId(-110), "ferryd-install-fail-other");
    EXPECT_STREQ(installFailureTextId(-114), "ferryd-install-fail-other");
    EXPECT_STREQ(installFailureTextId(-99), "ferryd-install-fail-other");
    EXPECT_STREQ(installFailureTextId(-27), "ferryd-install-fail-other");
    EXPECT_STREQ(installFailureTextId(INT_MIN), "ferryd-install-fail-other");
    // Without a catalogue the id is the text.
    EXPECT_EQ(installFailureText(-4), "ferryd-install-fail-storage");
}

TEST(InstallFailureText, CatalogueGivesEnglishTextForEveryId)
{
    QTranslator translator;
    ASSERT_TRUE(translator.load(FERRYD_QM_PATH));
    QCoreApplication::installTranslator(&translator);
    for (int code = -120; code <= 5; ++code) {
        const QString text = installFailureText(code);
        EXPECT_FALSE(text.startsWith("ferryd-")) << code << qPrintable(text);
    }
    EXPECT_EQ(installFailureText(-4), "Not enough storage space to install the app");
    for (const char *id : {"ferryd-ap-name", "ferryd-install-success", "ferryd-install-failed",
                           "ferryd-uninstall-success", "ferryd-uninstall-failed",
                           "ferryd-app_installation_disallowed", "ferryd-app_uninstallation_disallowed"})
        EXPECT_NE(qtTrId(id), QString(id)) << id;
    EXPECT_EQ(qtTrId("ferryd-launch_novum_to_start_android_app").arg("Maps"),
              "Starting Android App Support to open Maps");
    QCoreApplication::removeTranslator(&translator);
}

} // namespace
