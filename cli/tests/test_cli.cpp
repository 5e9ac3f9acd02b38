// The parts of ferry that work without the daemon: argument checking, the
// installed-app listing, output, and the program's own answers when no
// daemon is on the bus.
#include "commandline.h"
#include "helptext.h"
#include "installedapps.h"
#include "outputformatter.h"
#include "privatebus.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ParseCase
{
    QStringList args;
    const char *error;  // substring of the reason; nullptr: accepted
};

TEST(FerryCommandLine, AcceptsWellFormedAndRejectsMalformedArguments)
{
    const QString longName = QString(256, QLatin1Char('a'));
    const ParseCase cases[] = {
        {{"status"}, nullptr},
        {{"--json", "status"}, nullptr},
        {{"status", "--json"}, nullptr},
        {{"install", "a.apk", "b.apk"}, nullptr},
        {{"install", "--partner-space", "a.apk"}, nullptr},
        {{"install", "--", "-odd.apk"}, nullptr},
        {{"remove", "com.example.app"}, nullptr},
        {{"remove", "/usr/share/applications/ferryd_launcher_x.desktop"}, nullptr},
        {{"autostart", "com.example.app"}, nullptr},
        {{"autostart", "com.example.app", "off"}, nullptr},
        {{"intent", "--action", "android.intent.action.VIEW", "--data=https://x", "--extra", "k=v"}, nullptr},
        {{"help", "size"}, nullptr},
        {{"--help"}, nullptr},
        {{}, "no command"},
        {{"frobnicate"}, "unknown command"},
        {{"status", "extra"}, "takes no arguments"},
        {{"install"}, "missing argument"},
        {{"launch", "a.b", "c.d"}, "too many arguments"},
        {{"launch", "1com.example"}, "invalid package name"},
        {{"launch", "com..example"}, "invalid package name"},
        {{"launch", "com.example."}, "invalid package name"},
        {{"launch", "../../etc/passwd"}, "invalid package name"},
        {{"size", longName}, "invalid package name"},
        {{"remove", "com.example;rm"}, "invalid package name"},
        {{"autostart", "com.example.app", "maybe"}, "on or off"},
        {{"launch", "--action", "x", "com.example"}, "takes no intent options"},
        {{"size", "--preload", "com.example"}, "belong to install"},
        {{"intent", "--class", "com.example.Main"}, "--class needs --package"},
        {{"intent", "--package", "bad name"}, "invalid package name"},
        {{"intent", "--action"}, "needs a value"},
        {{"intent", "--extra", "novalue"}, "invalid extra"},
        {{"intent", "--action", "a\nb"}, "invalid value"},
        {{"install", "a\x01.apk"}, "invalid argument"},
        {{"status", "--verbose"}, "unknown option"},
        {{"status", "--json=1"}, "unknown option"},
    };
    for (const ParseCase &c : cases) {
        CommandLine line;
        QString error;
        const bool ok = CommandLine::parse(c.args, &line, &error);
        const std::string what = c.args.join(' ').toStdString();
        if (!c.error) {
            EXPECT_TRUE(ok) << what << ": " << error.toStdString();
        } else {
            EXPECT_FALSE(ok) << what;
            EXPECT_TRUE(error.contains(QLatin1String(c.error))) << what << ": " << error.toStdString();
        }
    }
}

TEST(FerryCommandLine, KeepsWhatEachCommandNeeds)
{
    CommandLine line;
    QString error;
    ASSERT_TRUE(CommandLine::parse({"intent", "--json", "--action", "A", "--data", "/tmp/f", "--type", "text/plain",
                                    "--package", "com.x", "--class", "com.x.Main", "--category", "C",
                                    "--extra", "s=a=b", "--extra", "n:int=-7", "--extra", "l:long=8589934592",
                                    "--extra", "b:bool=true"},
                                   &line, &error))
        << error.toStdString();
    EXPECT_TRUE(line.json);
    EXPECT_EQ(line.action, "A");
    EXPECT_EQ(line.data, "/tmp/f");
    EXPECT_EQ(line.type, "text/plain");
    EXPECT_EQ(line.package, "com.x");
    EXPECT_EQ(line.className, "com.x.Main");
    EXPECT_EQ(line.category, "C");
    EXPECT_EQ(line.extras.value("s"), QVariant(QString("a=b")));
    EXPECT_EQ(line.extras.value("n"), QVariant(-7));
    EXPECT_EQ(line.extras.value("l"), QVariant(qlonglong(8589934592LL)));
    EXPECT_EQ(line.extras.value("b"), QVariant(true));

    ASSERT_TRUE(CommandLine::parse({"install", "--preload", "x.apk", "--", "--json"}, &line, &error));
    EXPECT_EQ(line.source, 1);
    EXPECT_FALSE(line.json);
    EXPECT_EQ(line.operands, QStringList({"x.apk", "--json"}));

    // Typed extras that do not hold their type are refused, not sent as 0.
    for (const char *bad : {"n:int=x", "n:int=99999999999", "b:bool=yes", "k:float=1", "=v", ":int=1"}) {
        QString key;
        QVariant value;
        EXPECT_FALSE(CommandLine::parseExtra(QLatin1String(bad), &key, &value)) << bad;
    }
}

TEST(FerryHelp, EveryCommandHasItsOwnHelp)
{
    const QString overview = HelpText::overview();
    for (const QString &command : CommandLine::commands()) {
        const QString text = HelpText::forCommand(command);
        EXPECT_TRUE(text.startsWith("Usage: ferry " + command)) << command.toStdString();
        EXPECT_TRUE(overview.contains(command)) << command.toStdString();
    }
}

TEST(FerryOutput, FormatsSizesAndResults)
{
    const QPair<qint64, const char *> sizes[] = {
        {0, "0 B"}, {1023, "1023 B"}, {1024, "1.0 KiB"}, {1536, "1.5 KiB"},
        {5LL << 30, "5.0 GiB"}, {-1, "unknown"},
    };
    for (const auto &s : sizes)
        EXPECT_EQ(OutputFormatter::formatBytes(s.first), QLatin1String(s.second)) << s.first;

    EXPECT_EQ(OutputFormatter::printable("ok\x1b[2Jlabel\n"), "ok?[2Jlabel?");

    EXPECT_EQ(OutputFormatter::human("status", {{"running", true}, {"sdk", 29}, {"release", "10"},
                                                {"securityPatch", "2020-06-05"}}),
              "Runtime: running\nSDK level: 29\nRelease: 10\nSecurity patch: 2020-06-05\n");
    EXPECT_EQ(OutputFormatter::human("size", {{"package", "com.x"}, {"codeBytes", 2048}, {"dataBytes", 0},
                                              {"cacheBytes", -1}}),
              "com.x\nCode:  2.0 KiB (2048 bytes)\nData:  0 B (0 bytes)\nCache: unknown\n");
    EXPECT_EQ(OutputFormatter::human("install", {{"files", QJsonArray{QJsonObject{{"file", "/a.apk"}, {"requested", true}},
                                                                      QJsonObject{{"file", "/b.apk"}, {"requested", false}}}}}),
              "/a.apk: install requested\n");
    const QJsonArray apps{QJsonObject{{"package", "com.a"}, {"label", "A\tpp"}, {"desktopFile", "/x/a.desktop"}},
                          QJsonObject{{"package", "org.longer.b"}, {"label", ""}, {"desktopFile", "/x/b.desktop"}}};
    EXPECT_EQ(OutputFormatter::human("apps", {{"apps", apps}}),
              "PACKAGE       LABEL  DESKTOP FILE\n"
              "com.a         A?pp   /x/a.desktop\n"
              "org.longer.b         /x/b.desktop\n");
    EXPECT_EQ(OutputFormatter::human("apps", {{"apps", QJsonArray()}}), "No Android apps installed.\n");
    EXPECT_EQ(OutputFormatter::json({{"bytes", 5}}), "{\"bytes\":5}\n");
}

TEST(FerryInstalledApps, ListsOnlyTheDaemonsLauncherEntries)
{
    QTemporaryDir dir;
    const auto write = [&dir](const QString &name, const QByteArray &content) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    };
    write("ferryd_launcher_b.desktop",
          "[Desktop Entry]\nType=Application\nName=Bee\nX-ferryd-packageName=com.b\n[Other]\nName=Wrong\n");
    write("ferryd_launcher_a.desktop", "[Desktop Entry]\nName = Ay \nX-ferryd-packageName=com.a\n");
    write("ferryd_handler_c.desktop", "[Desktop Entry]\nName=C\nX-ferryd-packageName=com.c\n");
    write("ferryd_launcher_nopackage.desktop", "[Desktop Entry]\nName=None\n");
    write("ferryd_launcher_huge.desktop",
          "[Desktop Entry]\nX-ferryd-packageName=com.huge\n" + QByteArray(128 * 1024, '#'));
    write("other.desktop", "[Desktop Entry]\nName=O\nX-ferryd-packageName=com.o\n");
    QDir(dir.path()).mkdir("ferryd_launcher_dir.desktop");

    const QList<InstalledApp> apps = InstalledApps::list(dir.path());
    ASSERT_EQ(apps.size(), 2);
    EXPECT_EQ(apps.at(0).package, "com.a");
    EXPECT_EQ(apps.at(0).label, "Ay");
    EXPECT_EQ(apps.at(0).desktopFile, dir.filePath("ferryd_launcher_a.desktop"));
    EXPECT_EQ(apps.at(1).package, "com.b");
    EXPECT_EQ(apps.at(1).label, "Bee");
    EXPECT_TRUE(InstalledApps::list(dir.filePath("missing")).isEmpty());
}

// The program itself, on a bus where no daemon runs.
TEST(FerryProgram, ExitStatusAndOneLineErrors)
{
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning()) << bus.errorString().toStdString();
    QTemporaryDir dir;
    struct Case
    {
        QStringList args;
        int status;
        QByteArray out;  // substring of standard output
        QByteArray err;  // the whole of standard error
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: ferry", ""},
        {{"install", "--help"}, 0, "Usage: ferry install", ""},
        {{"help", "apps"}, 0, "Usage: ferry apps", ""},
        {{"status"}, 1, "", "ferry: daemon not running\n"},
        {{"launch", "com.example"}, 1, "", "ferry: daemon not running\n"},
        {{"install", dir.filePath("missing.apk")}, 1, "",
         "ferry: " + dir.filePath("missing.apk").toUtf8() + ": file not found\n"},
        {{"install", dir.path()}, 1, "", "ferry: " + dir.path().toUtf8() + ": not a regular file\n"},
        {{"launch", "not a package"}, 1, "", "ferry: invalid package name \"not a package\"\n"},
        {{"apps", "--json"}, 0, "{\"apps\":[],\"command\":\"apps\",\"ok\":true}", ""},
    };
    for (const Case &c : cases) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
        env.insert("FERRYD_APPLICATIONS_DIR", dir.path());
        p.setProcessEnvironment(env);
        p.start(FERRY_BIN, c.args);
        ASSERT_TRUE(p.waitForFinished(30000));
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(p.exitCode(), c.status) << what;
        EXPECT_TRUE(p.readAllStandardOutput().contains(c.out)) << what;
        EXPECT_EQ(p.readAllStandardError().toStdString(), c.err.toStdString()) << what;
    }
}

} // namespace
