// PrivateBus: a working bus, nothing left behind however the test ends.
#include "privatebus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <gtest/gtest.h>

namespace {

// True once pid is gone or only a zombie waiting for its new parent.
bool ended(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

bool waitEnded(qint64 pid, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (ended(pid))
            return true;
        QThread::msleep(10);
    }
    return ended(pid);
}

} // namespace

TEST(PrivateBus, ServesConnectionsAndEndsWithTheObject)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString socket = dir.filePath(QStringLiteral("bus_socket"));
    qint64 pid = 0;
    {
        PrivateBus bus(socket);
        ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.errorString());
        EXPECT_TRUE(bus.errorString().isEmpty());
        EXPECT_TRUE(bus.address().startsWith(QStringLiteral("unix:path=") + socket)) << qPrintable(bus.address());
        pid = bus.pid();
        ASSERT_GT(pid, 0);

        QDBusConnection owner = bus.connect(QStringLiteral("privatebus-owner"));
        QDBusConnection other = bus.connect(QStringLiteral("privatebus-other"));
        ASSERT_TRUE(owner.isConnected());
        ASSERT_TRUE(other.isConnected());
        ASSERT_TRUE(owner.registerService(QStringLiteral("org.example.PrivateBusTest")));
        EXPECT_TRUE(other.interface()->isServiceRegistered(QStringLiteral("org.example.PrivateBusTest")).value());
        QDBusConnection::disconnectFromBus(QStringLiteral("privatebus-owner"));
        QDBusConnection::disconnectFromBus(QStringLiteral("privatebus-other"));
    }
    // Terminated and reaped by the destructor: not even a zombie is left.
    EXPECT_TRUE(::kill(pid_t(pid), 0) != 0 && errno == ESRCH);

    PrivateBus stopped;
    ASSERT_TRUE(stopped.isRunning()) << qPrintable(stopped.errorString());
    const QString address = stopped.address();
    stopped.stop();
    EXPECT_FALSE(stopped.isRunning());
    EXPECT_EQ(stopped.pid(), 0);
    // Still the dead bus's address: nothing falls back to another bus.
    EXPECT_EQ(stopped.address(), address);
    stopped.stop();
}

// The child half of LeakedBusDiesWithTheProcess: a bus made with new and
// never deleted, as a test's static helper would.
TEST(PrivateBusLeak, Child)
{
    if (qEnvironmentVariableIsEmpty("FERRY_PRIVATEBUS_LEAK_CHILD"))
        GTEST_SKIP() << "only run by LeakedBusDiesWithTheProcess";
    // Held by a static, as such helpers do (and so LeakSanitizer lets it be).
    static PrivateBus *bus = new PrivateBus;
    ASSERT_TRUE(bus->isRunning()) << qPrintable(bus->errorString());
    std::printf("daemon-pid=%lld\n", static_cast<long long>(bus->pid()));
    std::fflush(stdout);
}

TEST(PrivateBus, LeakedBusDiesWithTheProcess)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FERRY_PRIVATEBUS_LEAK_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=PrivateBusLeak.Child")});
    ASSERT_TRUE(child.waitForFinished(20000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    ASSERT_EQ(child.exitCode(), 0) << qPrintable(out);
    const int at = out.indexOf(QStringLiteral("daemon-pid="));
    ASSERT_GE(at, 0) << qPrintable(out);
    const qint64 pid = out.mid(at + 11).section(QLatin1Char('\n'), 0, 0).toLongLong();
    ASSERT_GT(pid, 0) << qPrintable(out);
    EXPECT_TRUE(waitEnded(pid, 5000)) << "dbus-daemon " << pid << " outlived its test process";
    if (!ended(pid))
        ::kill(pid_t(pid), SIGKILL);
}

TEST(PrivateBus, FailedStartSaysWhyAndLeavesNothing)
{
    PrivateBus bus(QStringLiteral("/nonexistent-ferry-dir/bus_socket"));
    EXPECT_FALSE(bus.isRunning());
    EXPECT_EQ(bus.pid(), 0);
    EXPECT_TRUE(bus.address().isEmpty());
    // dbus-daemon's own complaint names the socket it could not create.
    EXPECT_TRUE(bus.errorString().contains(QStringLiteral("/nonexistent-ferry-dir/bus_socket")))
        << qPrintable(bus.errorString());

    PrivateBus::Options options;
    options.type = QStringLiteral("system");
    options.startTimeoutMs = 0; // no time to tell the address
    PrivateBus impatient(options);
    EXPECT_FALSE(impatient.isRunning());
    EXPECT_EQ(impatient.pid(), 0);
    EXPECT_FALSE(impatient.errorString().isEmpty());
}
