// The Intents built for launchIntent, share and the settings pages.
#include "intentbuilder.h"

#include <QDBusVariant>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using namespace IntentBuilder;

TEST(LaunchIntent, ActionFlagsPackageAndComponent)
{
    const struct
    {
        const char *what;
        QString action, packageName, className, category;
        QString expectedAction;
        int32_t expectedFlags;
        QString expectedPackage, expectedComponentPackage, expectedClass;
        QStringList expectedCategories;
    } cases[] = {
        {"empty action is MAIN", "", "", "", "", "android.intent.action.MAIN", 0x10004000, {}, {}, {}, {}},
        {"explicit MAIN", "android.intent.action.MAIN", "p", "", "", "android.intent.action.MAIN", 0x10004000, "p",
         {}, {}, {}},
        {"other action keeps flags 0", "android.intent.action.VIEW", "p", "p.C", "", "android.intent.action.VIEW", 0,
         "p", "p", "p.C", {}},
        {"class without package sets neither", "a.B", "", "p.C", "", "a.B", 0, {}, {}, {}, {}},
        {"category is the only one", "a.B", "", "", "android.intent.category.HOME", "a.B", 0, {}, {}, {},
         {"android.intent.category.HOME"}},
    };
    for (const auto &c : cases) {
        const Intent i = launchIntent(c.action, QString(), QString(), c.packageName, c.className, c.category, {});
        EXPECT_EQ(i.action, c.expectedAction) << c.what;
        EXPECT_EQ(i.flags, c.expectedFlags) << c.what;
        EXPECT_EQ(i.package, c.expectedPackage) << c.what;
        EXPECT_EQ(i.componentPackage, c.expectedComponentPackage) << c.what;
        EXPECT_EQ(i.componentClass, c.expectedClass) << c.what;
        EXPECT_EQ(i.categories, c.expectedCategories) << c.what;
        EXPECT_TRUE(i.type.isNull()) << c.what;
        EXPECT_TRUE(i.data.isEmpty()) << c.what;
        EXPECT_TRUE(i.extras.isEmpty()) << c.what;
    }
}

TEST(LaunchIntent, DataTypeAndExtras)
{
    const QVariantMap extras{{"s", "text"},
                             {"n", 5},
                             {"small", QVariant::fromValue<uchar>(7)},
                             {"list", QVariant::fromValue(QDBusVariant(QVariantList{"a", "b"}))},
                             {"map", QVariant::fromValue(QDBusVariant(QVariantMap{{"k", QVariant::fromValue(QDBusVariant(1))}}))}};
    const Intent i = launchIntent("a.VIEW", "https://example.com/x", "text/html", "", "", "", extras);
    EXPECT_EQ(i.data, QUrl("https://example.com/x"));
    EXPECT_EQ(i.type, "text/html");
    EXPECT_EQ(i.extras.value("s"), QVariant("text"));
    EXPECT_EQ(i.extras.value("n"), QVariant(5));
    EXPECT_EQ(i.extras.value("small").userType(), int(QMetaType::Int));
    EXPECT_EQ(i.extras.value("list"), QVariant(QStringList{"a", "b"}));
    // Nested values are plain maps now (the parcel writes what it can).
    EXPECT_EQ(i.extras.value("map"), QVariant(QVariantMap{{"k", 1}}));
    // A host path is turned into a file Uri.
    EXPECT_EQ(launchIntent("", "/tmp/x.txt", "", "", "", "", {}).data, QUrl("file:///tmp/x.txt"));
}

QVariantMap method(const QString &id)
{
    return {{"methodId", id}};
}

TEST(ShareIntent, FilesAndLinks)
{
    const QVariantMap link{{"name", ""}, {"linkTitle", "T"}, {"data", "U"}};
    const struct
    {
        const char *what;
        QVariantMap configuration;
        QString action, type;
        QVariantMap extras;
    } cases[] = {
        {"one file",
         {{"resources", QVariantList{"/tmp/a.jpg"}}, {"mimeType", "image/jpeg"}, {"selectedTransferMethodInfo", method("p/p.S")}},
         "android.intent.action.SEND", "image/jpeg",
         {{"android.intent.extra.STREAM", QUrl("file:///tmp/a.jpg")}}},
        {"three files in order",
         {{"resources", QVariantList{"/tmp/1.jpg", "/tmp/2.jpg", "/tmp/3.jpg"}}, {"mimeType", "image/*"},
          {"selectedTransferMethodInfo", method("p/p.S")}},
         "android.intent.action.SEND_MULTIPLE", "image/*",
         {{"android.intent.extra.STREAM",
           QVariantList{QUrl("file:///tmp/1.jpg"), QUrl("file:///tmp/2.jpg"), QUrl("file:///tmp/3.jpg")}}}},
        {"url link, title from linkTitle",
         {{"resources", QVariantList{link}}, {"mimeType", "text/x-url"}, {"selectedTransferMethodInfo", method("p/p.S")}},
         "android.intent.action.SEND", "text/plain",
         {{"android.intent.extra.SUBJECT", "T"}, {"android.intent.extra.TEXT", "U"}}},
        {"link without any title, text from status",
         {{"resources", QVariantList{QVariantMap{{"status", "S"}}}}, {"mimeType", "text/plain"},
          {"selectedTransferMethodInfo", method("p/p.S")}},
         "android.intent.action.SEND", "text/plain", {{"android.intent.extra.TEXT", "S"}}},
        {"text type but a file resource",
         {{"resources", QVariantList{"/tmp/n.txt"}}, {"mimeType", "text/plain"}, {"selectedTransferMethodInfo", method("p/p.S")},
          {"title", "ignored"}, {"somethingElse", 1}},
         "android.intent.action.SEND", "text/plain", {{"android.intent.extra.STREAM", QUrl("file:///tmp/n.txt")}}},
    };
    for (const auto &c : cases) {
        Intent i;
        ASSERT_TRUE(shareIntent(c.configuration, &i)) << c.what;
        EXPECT_EQ(i.action, c.action) << c.what;
        EXPECT_EQ(i.type, c.type) << c.what;
        EXPECT_EQ(i.extras, c.extras) << c.what;
        EXPECT_EQ(i.flags, 0x10008000) << c.what;
        EXPECT_EQ(i.package, "p") << c.what;
        EXPECT_EQ(i.componentPackage, "p") << c.what;
        EXPECT_EQ(i.componentClass, "p.S") << c.what;
    }
}

TEST(ShareIntent, RefusedWithoutResourcesOrTarget)
{
    const struct
    {
        const char *what;
        QVariantMap configuration;
    } cases[] = {
        {"no resources", {{"mimeType", "image/jpeg"}, {"selectedTransferMethodInfo", method("p/p.S")}}},
        {"no method", {{"resources", QVariantList{"/tmp/a"}}}},
        {"no slash", {{"resources", QVariantList{"/tmp/a"}}, {"selectedTransferMethodInfo", method("p.S")}}},
        {"two slashes", {{"resources", QVariantList{"/tmp/a"}}, {"selectedTransferMethodInfo", method("p/p/S")}}},
        {"empty class", {{"resources", QVariantList{"/tmp/a"}}, {"selectedTransferMethodInfo", method("p/")}}},
        {"empty package", {{"resources", QVariantList{"/tmp/a"}}, {"selectedTransferMethodInfo", method("/S")}}},
    };
    for (const auto &c : cases) {
        Intent i;
        EXPECT_FALSE(shareIntent(c.configuration, &i)) << c.what;
    }
}

TEST(SettingsIntents, AppDetailsAndLegalPage)
{
    const Intent settings = appSettingsIntent("com.example.app");
    EXPECT_EQ(settings.action, "android.settings.APPLICATION_DETAILS_SETTINGS");
    EXPECT_EQ(settings.package, "com.android.settings");
    EXPECT_EQ(settings.data.toString(), "package:com.example.app");
    EXPECT_EQ(settings.flags, 0x10008000);
    const Intent legal = licensesIntent();
    EXPECT_EQ(legal.action, "android.settings.LEGAL_INFO");
    EXPECT_EQ(legal.package, "com.android.settings");
    EXPECT_TRUE(legal.data.isEmpty());
    EXPECT_EQ(legal.flags, 0x10008000);
}

} // namespace
