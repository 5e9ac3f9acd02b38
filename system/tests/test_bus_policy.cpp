// ferryd's system bus policy in a dbus-daemon configured like the system
// bus (deny by default): only root owns the name, anyone may call it.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The rules of Debian's system.conf that matter here, then ferryd's file.
const char kConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow receive_type="signal"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow receive_sender="org.freedesktop.DBus"/>
  </policy>
  <include>%2</include>
</busconfig>
)";

// A program run as nobody, with the event loop turning so that this
// process can answer it.
int runAsNobody(const QStringList &args, QByteArray *output)
{
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args);
    loop.exec();
    *output = p.readAll();
    return p.state() == QProcess::NotRunning && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

TEST(FerrydBusPolicy, OnlyRootOwnsTheNameAndAnyoneCallsIt)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as root and as nobody";
    QTemporaryDir dir;
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const QString socket = dir.filePath("bus");
    QFile config(dir.filePath("bus.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QString::fromLatin1(kConfig).arg(socket, FERRYD_BUS_POLICY).toUtf8());
    config.close();
    QProcess bus;
    bus.start("dbus-daemon", {"--nofork", "--nopidfile", "--config-file=" + config.fileName(), "--print-address"});
    ASSERT_TRUE(bus.waitForReadyRead(10000)) << bus.readAllStandardError().constData();
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();

    // Nobody may not take the name.
    QByteArray out;
    EXPECT_NE(runAsNobody({"dbus-send", "--bus=" + address, "--print-reply", "--dest=org.freedesktop.DBus",
                           "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName",
                           "string:com.kestrel.ferryd", "uint32:0"}, &out), 0);
    EXPECT_TRUE(out.contains("AccessDenied")) << out.constData();

    {
        QDBusConnection root = QDBusConnection::connectToBus(address, "root");
        ASSERT_TRUE(root.isConnected());
        ASSERT_TRUE(root.registerService("com.kestrel.ferryd")) << root.lastError().message().toStdString();

        // Anyone calls it (the connection answers Ping itself; method calls
        // are denied by default on this bus).
        EXPECT_EQ(runAsNobody({"dbus-send", "--bus=" + address, "--print-reply", "--dest=com.kestrel.ferryd",
                               "/com/kestrel/ferryd", "org.freedesktop.DBus.Peer.Ping"}, &out), 0)
            << out.constData();

        QDBusConnection::disconnectFromBus("root");
    }
    bus.kill();
    bus.waitForFinished();
}

} // namespace
