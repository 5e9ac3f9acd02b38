// The Intents built for launchIntent, share and the settings pages.
#include "intentbuilder.h"

#include <QDBusVariant>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

using namespace IntentBuilder;

Intent expected(const QString &action, int32_t flags, const QString &package = {}, const QString &className = {},
                const QStringList &categories = {})
{
    Intent intent(action);
    intent.flags = flags;
    intent.package = package;
    if (!className.isEmpty()) {
        intent.componentPackage = package;
        intent.componentClass = className;
    }
    intent.categories = categories;
    return intent;
}

TEST(LaunchIntent, ActionFlagsPackageAndComponent)
{
    const QString main("android.intent.action.MAIN");
    const struct
    {
        const char *what;
        QString action, packageName, className, category;
        Intent intent;
    } cases[] = {
        {"empty action is MAIN", "", "", "", "", expected(main, 0x10004000)},
        {"explicit MAIN", main, "p", "", "", expected(main, 0x10004000, "p")},
        {"other action keeps flags 0", "a.VIEW", "p", "p.C", "", expected("a.VIEW", 0, "p", "p.C")},
        {"class without package sets neither", "a.B", "", "p.C", "", expected("a.B", 0)},
        {"category is the only one", "a.B", "", "", "a.HOME", expected("a.B", 0, {}, {}, {"a.HOME"})},
    };
    for (const auto &c : cases) {
        const Intent i = launchIntent(c.action, QString(), QString(), c.packageName, c.className, c.category, {});
        EXPECT_EQ(i.toString(), c.intent.toString()) << c.what;
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
