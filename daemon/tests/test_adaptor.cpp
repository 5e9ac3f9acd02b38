#include "appsizeinfo.h"
#include "ferrydaemonadaptor.h"
#include "privatebus.h"

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QTest>
#include <QThread>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {

// Stands in for the daemon object: the adaptor must reach these slots by
// name and relay the signals.
class RecordingDaemon : public QObject
{
    Q_OBJECT
public:
    QStringList calls;

public slots:
    bool installFile(const QString &filename) { calls << "installFile " + filename; return true; }
    bool installFile(const QString &filename, int source) { calls << QString("installFile2 %1 %2").arg(filename).arg(source); return false; }
    bool installPreloadFile(const QString &filename) { calls << "installPreloadFile " + filename; return true; }
    bool installPartnerSpaceFile(const QString &filename) { calls << "installPartnerSpaceFile " + filename; return false; }
    bool removeFile(const QString &filename) { calls << "removeFile " + filename; return true; }
    qulonglong getAndroidAppDataUsage() { calls << "getAndroidAppDataUsage"; return 1ull << 40; }
    void controlService(bool start) { calls << QString("controlService %1").arg(start); }
    void controlServiceAutostart(bool enable) { calls << QString("controlServiceAutostart %1").arg(enable); }
    bool isRunning() { calls << "isRunning"; return true; }
    AppSizeInfo getAppSize(const QString &packageName)
    {
        calls << "getAppSize " + packageName;
        return AppSizeInfo{1, -2, 3};
    }
    QVariantList getAndroidVersionData() { calls << "getAndroidVersionData"; return {29, "10", "2020-05-05"}; }
    void launchIntent(const QString &action, const QString &data, const QString &type, const QString &packageName,
                      const QString &className, const QString &category, const QVariantMap &extras)
    {
        calls << QStringList{"launchIntent", action, data, type, packageName, className, category,
                             extras.value("k").toString()}.join(' ');
    }
    void share(const QVariantMap &configuration) { calls << "share " + configuration.value("mimeType").toString(); }

signals:
    void appStartOnBootupChanged(const QString &packageName, bool autoStartAllowed);
    void installPackage(const QString &filename);
};

class SignalCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QVariantList> received;
public slots:
    void caught(const QDBusMessage &m) { received << m.arguments(); }
};

class AdaptorTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        AppSizeInfo::registerType();
        bus = new PrivateBus;
    }
    static void TearDownTestSuite()
    {
        delete bus;
        bus = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(bus->isRunning());
        // The served object answers from its own thread: the test's calls block.
        serverThread.start();
        server = std::make_unique<QDBusConnection>(bus->connect("server"));
        client = std::make_unique<QDBusConnection>(bus->connect("client"));
        daemon = new RecordingDaemon;
        new FerryDaemonAdaptor(daemon);   // relays the object's signals itself
        daemon->moveToThread(&serverThread);
        ASSERT_TRUE(server->registerObject("/com/kestrel/ferryd", daemon, QDBusConnection::ExportAdaptors));
        ASSERT_TRUE(server->registerService("com.kestrel.ferryd"));
    }
    void TearDown() override
    {
        server->unregisterObject("/com/kestrel/ferryd");
        RecordingDaemon *d = daemon;
        QMetaObject::invokeMethod(d, [d] { delete d; }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
        QDBusConnection::disconnectFromBus("server");
        QDBusConnection::disconnectFromBus("client");
    }
    QDBusMessage call(const QString &method, const QVariantList &args = {})
    {
        QDBusMessage msg = QDBusMessage::createMethodCall("com.kestrel.ferryd", "/com/kestrel/ferryd",
                                                          "com.kestrel.ferryd", method);
        msg.setArguments(args);
        return client->call(msg);
    }

    static PrivateBus *bus;
    std::unique_ptr<QDBusConnection> server, client;
    RecordingDaemon *daemon = nullptr;
    QThread serverThread;
};
PrivateBus *AdaptorTest::bus = nullptr;

TEST_F(AdaptorTest, IntrospectionListsMembersInOrderWithAnnotations)
{
    QDBusMessage msg = QDBusMessage::createMethodCall("com.kestrel.ferryd", "/com/kestrel/ferryd",
                                                      "org.freedesktop.DBus.Introspectable", "Introspect");
    const QDBusMessage reply = client->call(msg);
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << qPrintable(reply.errorMessage());
    const QString xml = reply.arguments().value(0).toString();

    QStringList members;
    QStringList interfaces;
    QMap<QString, QStringList> annotations;   // member -> name=value
    QMap<QString, QStringList> args;          // member -> name:type:direction
    QXmlStreamReader reader(xml);
    bool inFerry = false;
    QString member;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto a = reader.attributes();
            if (reader.name() == QLatin1String("interface")) {
                interfaces << a.value("name").toString();
                inFerry = a.value("name") == QLatin1String("com.kestrel.ferryd");
            } else if (inFerry && (reader.name() == QLatin1String("method") || reader.name() == QLatin1String("signal"))) {
                member = a.value("name").toString();
                members << reader.name().toString() + " " + member;
            } else if (inFerry && reader.name() == QLatin1String("annotation")) {
                annotations[member] << a.value("name").toString() + "=" + a.value("value").toString();
            } else if (inFerry && reader.name() == QLatin1String("arg")) {
                args[member] << QStringList{a.value("name").toString(), a.value("type").toString(),
                                            a.value("direction").toString()}.join(':');
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("interface")) {
            inFerry = false;
        }
    }
    ASSERT_FALSE(reader.hasError()) << qPrintable(reader.errorString());
    const QStringList expected{
        "method installFile", "method installPreloadFile", "method installPartnerSpaceFile",
        "method removeFile", "method getAndroidAppDataUsage", "method controlService",
        "method controlServiceAutostart", "method isRunning", "method notifyRuntimeUpgrade",
        "method getAppStartOnBootup", "method setAppStartOnBootup", "method deleteAppCacheFiles",
        "method clearAppUserData", "method forceStopApp", "method getAppSize", "method openAppSettings",
        "method viewLicenses", "method launchApp", "method launchIntent", "method getAndroidVersionData",
        "signal installPackage", "signal uninstallPackage", "signal installPackageFromRPM",
        "signal uninstallPackageFromRPM", "signal appStartOnBootupChanged", "method share", "signal appClosed"};
    EXPECT_EQ(members, expected);
    EXPECT_TRUE(interfaces.contains("org.freedesktop.DBus.Introspectable"));
    EXPECT_TRUE(interfaces.contains("org.freedesktop.DBus.Properties"));
    EXPECT_TRUE(interfaces.contains("org.freedesktop.DBus.Peer"));

    EXPECT_EQ(annotations.value("getAppSize"), QStringList{"org.qtproject.QtDBus.QtTypeName.Out0=AppSizeInfo"});
    EXPECT_EQ(annotations.value("launchIntent"), QStringList{"org.qtproject.QtDBus.QtTypeName.In6=QVariantMap"});
    EXPECT_EQ(annotations.value("getAndroidVersionData"),
              QStringList{"org.qtproject.QtDBus.QtTypeName.Out0=QVariantList"});
    EXPECT_EQ(annotations.value("share"), QStringList{"org.qtproject.QtDBus.QtTypeName.In0=QVariantMap"});
    EXPECT_EQ(annotations.size(), 4);

    EXPECT_EQ(args.value("installFile"), (QStringList{"filename:s:in", "success:b:out"}));
    EXPECT_EQ(args.value("getAndroidAppDataUsage"), QStringList{"bytes:t:out"});
    EXPECT_EQ(args.value("controlService"), QStringList{"start:b:in"});
    EXPECT_EQ(args.value("controlServiceAutostart"), QStringList{"enable:b:in"});
    EXPECT_EQ(args.value("isRunning"), QStringList{"running:b:out"});
    EXPECT_EQ(args.value("notifyRuntimeUpgrade"), QStringList{"upgrading:b:in"});
    EXPECT_EQ(args.value("getAppStartOnBootup"), (QStringList{"packageName:s:in", "autoStartAllowed:b:out"}));
    EXPECT_EQ(args.value("setAppStartOnBootup"), (QStringList{"packageName:s:in", "autoStartAllowed:b:in"}));
    EXPECT_EQ(args.value("getAppSize"), (QStringList{"packageName:s:in", "stats:(xxx):out"}));
    EXPECT_EQ(args.value("viewLicenses"), QStringList{});
    EXPECT_EQ(args.value("launchIntent"),
              (QStringList{"action:s:in", "data:s:in", "type:s:in", "packageName:s:in", "className:s:in",
                           "category:s:in", "extras:a{sv}:in"}));
    EXPECT_EQ(args.value("getAndroidVersionData"), QStringList{"versionData:(iss):out"});
    EXPECT_EQ(args.value("appStartOnBootupChanged"), (QStringList{"packageName:s:", "autoStartAllowed:b:"}));
    EXPECT_EQ(args.value("share"), QStringList{"shareActionConfiguration:a{sv}:in"});
    EXPECT_EQ(args.value("appClosed"), QStringList{"appName:s:"});
}

TEST_F(AdaptorTest, CallsReachTheSlotsOfTheSameName)
{
    QDBusMessage reply = call("installFile", {QString("/tmp/a.apk")});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(reply.arguments().value(0), QVariant(true));
    reply = call("installPartnerSpaceFile", {QString("/tmp/b.apk")});
    EXPECT_EQ(reply.arguments().value(0), QVariant(false));
    reply = call("getAndroidAppDataUsage");
    EXPECT_EQ(reply.signature(), "t");
    EXPECT_EQ(reply.arguments().value(0).toULongLong(), 1ull << 40);
    call("controlService", {true});
    reply = call("isRunning");
    EXPECT_EQ(reply.arguments().value(0), QVariant(true));

    reply = call("getAppSize", {QString("com.x")});
    ASSERT_EQ(reply.signature(), "(xxx)");
    AppSizeInfo info = qdbus_cast<AppSizeInfo>(reply.arguments().value(0));
    EXPECT_EQ(info.codeBytes, 1);
    EXPECT_EQ(info.dataBytes, -2);
    EXPECT_EQ(info.cacheBytes, 3);

    reply = call("getAndroidVersionData");
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    // The list goes out as Qt marshals a variant list.
    EXPECT_EQ(reply.signature(), "av");
    const QVariantList version = qdbus_cast<QVariantList>(reply.arguments().value(0));
    ASSERT_EQ(version.size(), 3);
    EXPECT_EQ(version.at(0).toInt(), 29);
    EXPECT_EQ(version.at(1).toString(), "10");

    call("launchIntent", {QString("a"), QString("d"), QString("t"), QString("p"), QString("c"), QString("cat"),
                          QVariantMap{{"k", "v"}}});
    call("share", {QVariantMap{{"mimeType", "text/plain"}}});
    // A method the object has no slot for answers (with the default), no crash.
    reply = call("launchApp", {QString("com.x")});
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage);

    const QStringList expected{"installFile /tmp/a.apk", "installPartnerSpaceFile /tmp/b.apk",
                               "getAndroidAppDataUsage", "controlService 1", "isRunning", "getAppSize com.x",
                               "getAndroidVersionData", "launchIntent a d t p c cat v", "share text/plain"};
    QStringList calls;
    QMetaObject::invokeMethod(daemon, [&] { calls = daemon->calls; }, Qt::BlockingQueuedConnection);
    EXPECT_EQ(calls, expected);
}

TEST_F(AdaptorTest, DaemonSignalsAreRelayed)
{
    SignalCatcher catcher;
    ASSERT_TRUE(client->connect("com.kestrel.ferryd", "/com/kestrel/ferryd", "com.kestrel.ferryd",
                                "appStartOnBootupChanged", &catcher, SLOT(caught(QDBusMessage))));
    // Make sure the match rule is in place before the signal.
    call("isRunning");
    RecordingDaemon *d = daemon;
    QMetaObject::invokeMethod(d, [d] { emit d->appStartOnBootupChanged("com.x", true); }, Qt::QueuedConnection);
    for (int i = 0; i < 50 && catcher.received.isEmpty(); ++i)
        QTest::qWait(20);
    ASSERT_EQ(catcher.received.size(), 1);
    EXPECT_EQ(catcher.received.first(), (QVariantList{QString("com.x"), true}));
}

} // namespace

#include "test_adaptor.moc"
