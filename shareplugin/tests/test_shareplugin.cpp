// libnovumshareplugin as the transfer engine sees it: loaded by path with
// QPluginLoader, its metadata, its interface, and the share methods it
// makes of registry files.
#include "sharingplugininfo.h"
#include "sharingplugininterface.h"

#include <QFile>
#include <QJsonObject>
#include <QPluginLoader>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const char kPage[] = "/usr/share/nemo-transferengine/plugins/sharing/NovumShare.qml";

class SharePluginTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        registry = dir.filePath("sharing.json");
        qputenv("FERRYD_SHARING_REGISTRY", registry.toLocal8Bit());
        ASSERT_TRUE(loader.load()) << qPrintable(loader.errorString());
        plugin = qobject_cast<SharingPluginInterface *>(loader.instance());
        ASSERT_NE(plugin, nullptr);
    }
    void TearDown() override { qunsetenv("FERRYD_SHARING_REGISTRY"); }

    void writeRegistry(const QByteArray &content)
    {
        QFile f(registry);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    // What the engine does: a fresh information object, query, info.
    QList<SharingMethodInfo> query()
    {
        std::unique_ptr<SharingPluginInfo> info(plugin->infoObject());
        QSignalSpy ready(info.get(), &SharingPluginInfo::infoReady);
        info->query();
        EXPECT_EQ(ready.count(), 1);
        return info->info();
    }

    QTemporaryDir dir;
    QString registry;
    QPluginLoader loader{NOVUMSHAREPLUGIN_PATH};
    SharingPluginInterface *plugin = nullptr;
};

TEST_F(SharePluginTest, MetadataInterfaceAndInstance)
{
    const QJsonObject meta = loader.metaData();
    EXPECT_EQ(meta.value("IID").toString(), "com.kestrel.share.plugin.qrs");
    EXPECT_EQ(meta.value("className").toString(), "NovumSharePlugin");
    EXPECT_EQ(meta.value("MetaData").toObject(), QJsonObject());
    QObject *instance = loader.instance();
    for (const char *name : {"NovumSharePlugin", "SharingPluginInterface", "org.rovidezir.SharingPluginInterface/1.0"})
        EXPECT_NE(instance->qt_metacast(name), nullptr) << name;
    EXPECT_EQ(plugin->pluginId(), "Android App");
    EXPECT_EQ(loader.instance(), instance);
    // A new instance once the engine deleted the old one.
    delete instance;
    EXPECT_NE(loader.instance(), nullptr);
}

TEST_F(SharePluginTest, MissingOrMalformedRegistryHasNoMethods)
{
    EXPECT_TRUE(query().isEmpty());
    for (const QByteArray &content : {QByteArray(""), QByteArray("{\"com.a\": {\"com.a.S\": "),
                                      QByteArray("[1, 2]"), QByteArray("\"text\""), QByteArray("{\"com.a\": 5}")})
    {
        writeRegistry(content);
        EXPECT_TRUE(query().isEmpty()) << content.constData();
    }
}

TEST_F(SharePluginTest, OneMethodPerActivityInKeyOrder)
{
    writeRegistry(R"({
        "com.b": {
            "com.b.Z": {"label": "B Z", "caption": "zz", "icon": "/i/bz.png", "mimetypes": ["text/x-url", "text/plain"],
                        "multi": true},
            "com.b.A": {"label": "B A", "caption": "", "icon": "/i/ba.png", "mimetypes": "text/plain", "multi": "yes"}
        },
        "com.a": {
            "com.a.Send": {"label": "", "icon": "/i/as.png", "mimetypes": ["image/*", 7]},
            "com.a.Edit": {"label": "A Edit", "caption": "edit", "icon": "/i/ae.png", "mimetypes": [], "multi": false}
        }
    })");
    const QList<SharingMethodInfo> methods = query();
    ASSERT_EQ(methods.size(), 4);
    struct Row { QString id, name, subtitle, icon; QStringList types; bool multi; };
    const Row rows[] = {
        {"com.a/com.a.Edit", "A Edit", "edit", "/i/ae.png", {}, false},
        {"com.a/com.a.Send", "", "", "/i/as.png", {"image/*", "7"}, false},
        {"com.b/com.b.A", "B A", "", "/i/ba.png", {}, false},
        {"com.b/com.b.Z", "B Z", "zz", "/i/bz.png", {"text/x-url", "text/plain"}, true},
    };
    for (int i = 0; i < 4; ++i) {
        const SharingMethodInfo &m = methods.at(i);
        const Row &r = rows[i];
        EXPECT_EQ(m.methodId(), r.id);
        EXPECT_EQ(m.displayName(), r.name) << qPrintable(r.id);
        EXPECT_EQ(m.subtitle(), r.subtitle) << qPrintable(r.id);
        EXPECT_EQ(m.methodIcon(), r.icon) << qPrintable(r.id);
        EXPECT_EQ(m.capabilities(), r.types) << qPrintable(r.id);
        EXPECT_EQ(m.supportsMultipleFiles(), r.multi) << qPrintable(r.id);
        EXPECT_EQ(m.shareUIPath(), kPage);
    }

    // No cache: the next query reads the registry again.
    writeRegistry("{}");
    EXPECT_TRUE(query().isEmpty());
}

} // namespace
