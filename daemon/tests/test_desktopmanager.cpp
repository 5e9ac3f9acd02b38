// The desktop side of ferryd against a temporary tree: desktop entry files,
// names, the launcher service's parcels, desktop entries, icons, settings
// entries, the sharing registry, the blacklist, and hostile launchers.
#include "apkmanager.h"
#include "appblacklist.h"
#include "desktopfile.h"
#include "desktopmanager.h"
#include "launchernames.h"
#include "logcapture.h"
#include "novumparcel.h"
#include "settingsentry.h"
#include "testworld.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

ino_t inode(const QString &path)
{
    struct stat st;
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Every file below dir, relative to it.
QStringList tree(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(dir.size());
    files.sort();
    return files;
}

ApkLauncher launcher(const QString &package, const QString &cls, const QString &label = "App")
{
    ApkLauncher l;
    l.packageName = package;
    l.className = cls;
    l.label = label;
    l.version = "1.2";
    l.icon = "PNG-" + cls.toUtf8();
    return l;
}

ApkLauncher shareHandler(const QString &package, const QString &cls)
{
    ApkLauncher l = launcher(package, cls, "Share " + cls);
    l.caption = "Send";
    l.version.clear();
    l.shareMimeTypes = QStringList{"text/x-url", "text/plain"};
    l.multi = true;
    return l;
}

class DesktopTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/";
        locations.applicationsDir = root + "applications/";
        locations.iconDir = root + "state/";
        locations.settingsEntriesDir = root + "settings/";
        locations.sharingRegistry = root + "state/sharing.json";
        locations.desktopDatabaseTool = "/usr/bin/update-desktop-database";
        locations.blacklistFiles = QStringList{root + "blacklist-a", root + "missing", root + "blacklist-b"};
        locations.partnerSpaceDir = root + "partner/";
        QDir().mkpath(locations.applicationsDir);
        QDir().mkpath(locations.partnerSpaceDir);
    }
    std::unique_ptr<DesktopManager> manager()
    {
        return std::make_unique<DesktopManager>("/android", locations);
    }
    QString entry(const QString &name) const { return locations.applicationsDir + name + ".desktop"; }
    QString icon(const QString &name) const { return locations.iconDir + name + ".png"; }
    QString settings(const QString &name) const { return locations.settingsEntriesDir + name + ".json"; }

    QTemporaryDir dir;
    QString root;
    DesktopLocations locations;
};

// ---- desktop entry files ----

TEST_F(DesktopTest, DesktopFileLoadsSavesOnlyChangesAndReplacesWhole)
{
    const QString path = root + "a.desktop";
    writeFile(path, "Name=before group\n[Desktop Entry]\nName=First\nno equals sign\nName=Second=2\nExec=x\n");
    {
        DesktopFile file(path);
        EXPECT_EQ(file.values(), (QMap<QString, QString>{{"Name", "Second=2"}, {"Exec", "x"}}));
        file.setValue("Name", "Second=2");
        file.remove("Absent");
        EXPECT_FALSE(file.isDirty());
        LogCapture log;
        EXPECT_EQ(file.value("Absent"), QString());
        EXPECT_EQ(log.count(QtWarningMsg, "does not have key:"), 1);
    }
    EXPECT_EQ(readAll(path).left(9), "Name=befo");   // untouched

    // Removed and set again to the same value: nothing to write.
    { DesktopFile file(path); file.remove("Exec"); file.setValue("Exec", "x"); }
    EXPECT_EQ(readAll(path).left(9), "Name=befo");

    // A link in the file's place is replaced, not written through.
    const QString target = root + "elsewhere";
    writeFile(target, "keep");
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(target, path));
    { DesktopFile file(path); file.setValue("Zed", "z"); file.setValue("Alpha", "a"); }
    EXPECT_EQ(readAll(path), "[Desktop Entry]\nAlpha=a\nZed=z\n");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(readAll(target), "keep");
    struct stat st;
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(tree(root), (QStringList{"a.desktop", "elsewhere"}));   // no temporary left

    LogCapture log;
    { DesktopFile file(root + "no/such/dir.desktop"); file.setValue("A", "b"); }
    EXPECT_EQ(log.count(QtWarningMsg, "Could not open"), 1);
}

// ---- names ----

TEST(LauncherNamesTest, EscapingAndValidation)
{
    EXPECT_EQ(LauncherNames::escape("com.example.my_app"), "com_example_my__app");
    ApkLauncher l = launcher("com.a.b_c", "com.a.b_c.Main");
    EXPECT_EQ(LauncherNames::desktopEntryFileName(l), "ferryd_launcher_com_a_b__c-com_a_b__c_Main.desktop");
    l.mimeTypes = QStringList{"text/plain"};
    EXPECT_EQ(LauncherNames::desktopEntryFileName(l), "ferryd_handler_com_a_b__c-com_a_b__c_Main.desktop");

    struct Row { QString name; bool package; bool cls; };
    const Row rows[] = {
        {"com.example.app", true, true}, {"a", true, true}, {"A1_b.c2", true, true},
        {"Main$Inner", false, true}, {".Main", false, true}, {"1abc", false, true}, {"com..a", false, true},
        {"com.a.", false, true}, {"_a", false, true}, {"", false, false}, {"../../etc/x", false, false},
        {"com/a", false, false}, {"com a", false, false}, {"a\"b", false, false}, {"a%U", false, false},
        {"a;b", false, false}, {"a\nb", false, false}, {"caf\u00e9", false, false}, {"a-b", false, false},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(LauncherNames::isValidPackageName(r.name), r.package) << qPrintable(r.name);
        EXPECT_EQ(LauncherNames::isValidClassName(r.name), r.cls) << qPrintable(r.name);
    }
    for (const QString &text : {QString("a\nb"), QString("a\rb"), QString("a\tb"), QString(QChar(0)),
                                QString("a\u0085"), QString("\u2028"), QString("\x7f")})
        EXPECT_TRUE(LauncherNames::hasControlCharacters(text)) << qPrintable(text.toUtf8().toHex());
    EXPECT_FALSE(LauncherNames::hasControlCharacters("Caf\u00e9 & Co. %U \"q\""));

    EXPECT_EQ(LauncherNames::childPath("/d/", "x.png"), "/d/x.png");
    for (const QString &bad : {QString(), QString("."), QString(".."), QString("a/b"), QString(256, 'a')})
        EXPECT_TRUE(LauncherNames::childPath("/d/", bad).isEmpty()) << qPrintable(bad);
}

TEST(AppBlacklistTest, LinesAreTrimmedAndEmptyOnesSkipped)
{
    EXPECT_EQ(AppBlacklist::parse("  com.example.app  \n   \n\tcom.b\r\n\n#com.c"),
              (QStringList{"com.example.app", "com.b", "#com.c"}));
    EXPECT_EQ(AppBlacklist::read({"/nonexistent/blacklist"}), QStringList());
}

// ---- the launcher service ----

class ApkManagerTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = new TestWorld;
        if (!world->start())
            qFatal("Cannot start the test world: %s", qPrintable(world->errorString()));
    }
    static void TearDownTestSuite()
    {
        delete world;
        world = nullptr;
    }
    static TestWorld *world;
};
TestWorld *ApkManagerTest::world = nullptr;

TEST_F(ApkManagerTest, TransactionsBecomeSignals)
{
    ApkManager manager;
    QList<ApkLauncher> added;
    QObject::connect(&manager, &ApkManager::addLauncher, [&](ApkLauncher l) { added << l; });
    QSignalSpy removed(&manager, &ApkManager::packageRemoved);
    QSignalSpy complete(&manager, &ApkManager::launchersComplete);
    // Strings are String16, bools int32, byte arrays length and bytes.
    auto transact = [&](int32_t code, const QVariantList &args) {
        ferry::binder::Writer w;
        NovumParcel out(&w);
        for (const QVariant &a : args) {
            if (a.type() == QVariant::Bool)
                out.writeBool(a.toBool());
            else if (a.type() == QVariant::ByteArray)
                out.writeByteArray(a.toByteArray());
            else
                out.writeString(a.toString());
        }
        ferry::binder::Reader r(w.data().data(), w.data().size());
        NovumParcel in(&r);
        NovumParcel reply;
        return manager.processRequest(code, in, reply);
    };
    EXPECT_TRUE(transact(1, {"com.a", "com.a.Main", "Label", "2.0", QByteArray("\x89PNG")}));
    EXPECT_TRUE(transact(4, {"com.a", "com.a.View", "Viewer", "Caption", "3", "text/plain;;image/*", ";text/plain;",
                             true, "http;;geo", "*.example.com", true, QByteArray("ICON")}));
    EXPECT_TRUE(transact(4, {"com.b", "com.b.S", "", "", "", "", "text/plain", false, "", "", false, QByteArray()}));
    ASSERT_EQ(added.size(), 3);
    const ApkLauncher &a = added.at(0);
    EXPECT_EQ(QStringList({a.packageName, a.className, a.label, a.version, a.caption}),
              QStringList({"com.a", "com.a.Main", "Label", "2.0", ""}));
    EXPECT_EQ(a.icon, QByteArray("\x89PNG"));
    EXPECT_FALSE(a.isHandler());
    const ApkLauncher &h = added.at(1);
    EXPECT_EQ(QStringList({h.label, h.caption, h.version}), QStringList({"Viewer", "Caption", "3"}));
    EXPECT_EQ(h.mimeTypes, (QStringList{"text/plain", "", "image/*", "x-scheme-handler/http",
                                        "x-scheme-handler/geo", "x-url-handler/*.example.com"}));
    EXPECT_EQ(h.shareMimeTypes, QStringList{"text/plain"});
    EXPECT_TRUE(h.multi && h.secondFlag);
    EXPECT_EQ(h.icon, QByteArray("ICON"));
    EXPECT_TRUE(added.at(2).mimeTypes.isEmpty());
    EXPECT_TRUE(added.at(2).isHandler());

    EXPECT_TRUE(transact(3, {"com.gone"}));
    EXPECT_EQ(removed.value(0).value(0).toString(), "com.gone");
    EXPECT_TRUE(transact(2, {}));
    EXPECT_EQ(complete.count(), 1);
    LogCapture log;
    EXPECT_FALSE(transact(5, {"x"}));
    EXPECT_EQ(log.count(QtWarningMsg, "Unknown binder call ( 5 )"), 1);
    EXPECT_EQ(added.size() + removed.count() + complete.count(), 5);
}

// ---- desktop entries, icons, settings entries ----

TEST_F(DesktopTest, LauncherEntryIconAndSettingsEntry)
{
    auto m = manager();
    QSignalSpy installed(m.get(), &DesktopManager::newApplicationInstalled);
    const QString name = "ferryd_launcher_com_example_my__app-com_example_Main";
    m->onCreateLauncher(launcher("com.example.my_app", "com.example.Main", "My App"));
    EXPECT_EQ(readAll(entry(name)),
              "[Desktop Entry]\n"
              "Exec=ferryd-launcher com.example.my_app.apk com.example.my_app/com.example.Main\n"
              "Icon=" + icon(name).toUtf8() + "\n"
              "Name=My App\n"
              "Type=Application\n"
              "Version=1.0\n"
              "X-Nemo-Application-Type=no-invoker\n"
              "X-ferryd-apkfile=/android/data/app//com.example.my_app.apk\n"
              "X-ferryd-packageName=com.example.my_app\n");
    EXPECT_EQ(readAll(icon(name)), "PNG-com.example.Main");
    EXPECT_EQ(readAll(settings(name)),
              "{\n"
              "    \"entries\": [\n"
              "        {\n"
              "            \"params\": {\n"
              "                \"properties\": {\n"
              "                    \"packageName\": \"com.example.my_app\",\n"
              "                    \"packageVersion\": \"1.2\"\n"
              "                },\n"
              "                \"source\": \"/usr/share/kestrel-settings/pages/apk-configuration/"
              "apkConfigurationPage.qml\"\n"
              "            },\n"
              "            \"path\": \"applications/" + name.toUtf8() + ".desktop\",\n"
              "            \"type\": \"page\"\n"
              "        }\n"
              "    ]\n"
              "}\n");
    EXPECT_EQ(installed.count(), 1);

    // The same launcher again rewrites nothing and announces nothing.
    const ino_t inodes[] = {inode(entry(name)), inode(icon(name)), inode(settings(name))};
    m->onCreateLauncher(launcher("com.example.my_app", "com.example.Main", "My App"));
    EXPECT_EQ(inode(entry(name)), inodes[0]);
    EXPECT_EQ(inode(icon(name)), inodes[1]);
    EXPECT_EQ(inode(settings(name)), inodes[2]);
    EXPECT_EQ(installed.count(), 1);
    EXPECT_EQ(m->launchers().size(), 1);

    // Keys of others are kept; NoDisplay and single-instance go for a launcher.
    writeFile(entry(name), readAll(entry(name)) + "Comment=mine\nNoDisplay=true\nX-Nemo-Single-Instance=no\n");
    ApkLauncher changed = launcher("com.example.my_app", "com.example.Main", "Renamed");
    changed.icon = QByteArray(DesktopManager::kMaxIconBytes + 1, 'x');
    LogCapture log;
    m->onCreateLauncher(changed);
    const QMap<QString, QString> keys = DesktopFile::load(entry(name));
    EXPECT_EQ(keys.value("Name"), "Renamed");
    EXPECT_EQ(keys.value("Comment"), "mine");
    EXPECT_FALSE(keys.contains("NoDisplay") || keys.contains("X-Nemo-Single-Instance"));
    EXPECT_EQ(keys.value("Icon"), icon(name));
    EXPECT_EQ(readAll(icon(name)), "PNG-com.example.Main");   // too large: the earlier icon stays
    EXPECT_EQ(log.count(QtWarningMsg, "keeping the earlier icon"), 1);
    EXPECT_EQ(installed.count(), 1);
}

TEST_F(DesktopTest, HandlersShareTargetsAndTheRegistry)
{
    auto m = manager();
    EXPECT_EQ(readAll(locations.sharingRegistry), "");   // emptied at start-up
    ApkLauncher view = launcher("com.a", "com.a.View", "Viewer");
    view.mimeTypes = QStringList{"text/html", "x-scheme-handler/http"};
    m->onCreateLauncher(view);
    const QString viewName = "ferryd_handler_com_a-com_a_View";
    const QMap<QString, QString> keys = DesktopFile::load(entry(viewName));
    EXPECT_EQ(keys.value("NoDisplay"), "true");
    EXPECT_EQ(keys.value("MimeType"), "text/html;x-scheme-handler/http");
    EXPECT_EQ(keys.value("Exec"), "ferryd-launcher -d %U com.a.apk com.a/com.a.View");
    EXPECT_FALSE(QFile::exists(settings(viewName)));
    EXPECT_EQ(readAll(locations.sharingRegistry), "");   // not a share target

    m->onCreateLauncher(shareHandler("com.a", "com.a.Send"));
    ApkLauncher single = shareHandler("com.a", "com.a.Edit");
    single.multi = false;
    single.shareMimeTypes = QStringList{"image/png"};
    m->onCreateLauncher(single);
    const QByteArray expected =
        "{\n"
        "    \"com.a\": {\n"
        "        \"com.a.Edit\": {\n"
        "            \"caption\": \"Send\",\n"
        "            \"icon\": \"" + icon("ferryd_handler_com_a-com_a_Edit").toUtf8() + "\",\n"
        "            \"label\": \"Share com.a.Edit\",\n"
        "            \"mimetypes\": [\n"
        "                \"image/png\"\n"
        "            ],\n"
        "            \"multi\": false\n"
        "        },\n"
        "        \"com.a.Send\": {\n"
        "            \"caption\": \"Send\",\n"
        "            \"icon\": \"" + icon("ferryd_handler_com_a-com_a_Send").toUtf8() + "\",\n"
        "            \"label\": \"Share com.a.Send\",\n"
        "            \"mimetypes\": [\n"
        "                \"text/x-url\",\n"
        "                \"text/plain\"\n"
        "            ],\n"
        "            \"multi\": true\n"
        "        }\n"
        "    }\n"
        "}\n";
    EXPECT_EQ(readAll(locations.sharingRegistry), expected);
    const ino_t before = inode(locations.sharingRegistry);
    m->onCreateLauncher(shareHandler("com.a", "com.a.Send"));
    m->onRemovePackage("com.other");
    EXPECT_EQ(inode(locations.sharingRegistry), before);

    // The registry reaches the MIME cache through the real desktop database tool.
    m->onLaunchersComplete();
    const QByteArray cache = readAll(locations.applicationsDir + "mimeinfo.cache");
    EXPECT_TRUE(cache.contains("x-scheme-handler/http=" + viewName.toUtf8() + ".desktop")) << cache.constData();

    m->onRemovePackage("com.a");
    EXPECT_EQ(readAll(locations.sharingRegistry), "{\n}\n");
    EXPECT_EQ(tree(root), (QStringList{"applications/mimeinfo.cache", "state/sharing.json"}));
}

TEST_F(DesktopTest, BlacklistPartnerSpaceAndOrphans)
{
    writeFile(root + "blacklist-a", "  com.hidden  \n\n");
    writeFile(root + "blacklist-b", "com.other\n");
    writeFile(locations.partnerSpaceDir + "com.partner-12.apk", "");
    // An entry from an earlier run that Android no longer reports.
    const QString old = "ferryd_launcher_com_old-com_old_Main";
    writeFile(entry(old), "[Desktop Entry]\nX-ferryd-packageName=com.old\n");
    writeFile(icon(old), "old");
    writeFile(settings(old), "{}");

    auto m = manager();
    EXPECT_TRUE(m->isBlacklisted("com.hidden") && m->isBlacklisted("com.other"));
    EXPECT_FALSE(m->isBlacklisted("com.hidde"));
    QSignalSpy installed(m.get(), &DesktopManager::newApplicationInstalled);
    m->onCreateLauncher(launcher("com.hidden", "com.hidden.Main"));
    EXPECT_EQ(DesktopFile::load(entry("ferryd_launcher_com_hidden-com_hidden_Main")).value("NoDisplay"), "true");
    // An entry of a handler from before the package was blacklisted is an orphan now.
    const QString hiddenShare = "ferryd_handler_com_hidden-com_hidden_Send";
    writeFile(entry(hiddenShare), "[Desktop Entry]\nX-ferryd-packageName=com.hidden\n");
    m->onCreateLauncher(shareHandler("com.hidden", "com.hidden.Send"));
    EXPECT_EQ(readAll(locations.sharingRegistry), "");

    m->onCreateLauncher(launcher("com.partner", "com.partner.Main"));
    const QMap<QString, QString> partner = DesktopFile::load(entry("ferryd_launcher_com_partner-com_partner_Main"));
    EXPECT_EQ(partner.value("NoDisplay"), "true");
    EXPECT_EQ(partner.value("Categories"), "X-HalcyonPartnerSpace");
    EXPECT_EQ(installed.count(), 2);

    m->onLaunchersComplete();
    EXPECT_FALSE(QFile::exists(entry(old)) || QFile::exists(icon(old)) || QFile::exists(settings(old)));
    EXPECT_FALSE(QFile::exists(entry(hiddenShare)));
    EXPECT_EQ(m->desktopEntriesByPackage().keys(), (QStringList{"com.hidden", "com.partner"}));

    m->onRemovePackage("com.partner");
    EXPECT_EQ(m->desktopEntriesByPackage().keys(), QStringList{"com.hidden"});
    EXPECT_FALSE(QFile::exists(icon("ferryd_launcher_com_partner-com_partner_Main")));
    EXPECT_FALSE(QFile::exists(settings("ferryd_launcher_com_partner-com_partner_Main")));
}

TEST_F(DesktopTest, HostileLaunchersWriteNothing)
{
    auto m = manager();
    const QStringList before = tree(root);
    QList<ApkLauncher> hostile;
    const QStringList packages{"../../../tmp/x", "com.a/../../x", "", "com.a b", "com.a\nName=x", "com.a;b",
                               "a" + QString(".b").repeated(130)};
    for (const QString &package : packages)
        hostile << launcher(package, "com.a.Main");
    for (const QString &cls : {"../x", "Main Evil", "Main%U", "M\"q", "", "a/b"})
        hostile << launcher("com.a", cls);
    ApkLauncher l = launcher("com.a", "com.a.Main", "Label\nExec=/bin/evil");
    hostile << l;
    l.label = "App";
    l.version = "1\r\nX=y";
    hostile << l;
    l = launcher("com.a", "com.a.View");
    l.mimeTypes = QStringList{"text/plain", "x-scheme-handler/a\nExec=evil"};
    hostile << l;
    l = shareHandler("com.a", "com.a.Send");
    l.label = "Send\x1b";
    hostile << l;
    QSignalSpy installed(m.get(), &DesktopManager::newApplicationInstalled);
    LogCapture log;
    for (const ApkLauncher &h : qAsConst(hostile))
        m->onCreateLauncher(h);
    EXPECT_EQ(log.count(QtWarningMsg, "Dropping launcher"), hostile.size());
    EXPECT_EQ(tree(root), before);
    EXPECT_EQ(installed.count(), 0);
    EXPECT_TRUE(m->launchers().isEmpty());
}

} // namespace
