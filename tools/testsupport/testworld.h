#pragma once

#include <QDBusConnection>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>
#include <memory>

// A private little world for integration tests: its own system bus and
// session bus (dbus-daemon instances that let every user own any name and
// talk to anyone, since tests run both as root and as normal users), the
// systemd stand-in (ferry-systemd-standin) on that system bus, and any
// further processes a test starts. Nothing touches the machine's or the
// user's real buses.
//
//     TestWorld world;
//     ASSERT_TRUE(world.start()) << qPrintable(world.errorString());
//     // DBUS_SYSTEM_BUS_ADDRESS / DBUS_SESSION_BUS_ADDRESS now point at the
//     // private buses, in this process and in every process started here.
//     ServiceController::instance();
//     ...
//     EXPECT_EQ(world.systemdCallCount("StartUnit"), 1);
//
// Teardown (stop() or the destructor, which also runs when a test assertion
// fails) kills every process group the world started and removes its
// temporary directory. Children are also killed by the kernel if the test
// process dies (PR_SET_PDEATHSIG), so call start() from the main thread.
//
// Qt's QDBusConnection::systemBus()/sessionBus() connect once per process
// and never reconnect: start the world before the first use of either, and
// use one world per test program when the code under test uses those
// default connections (a gtest Environment or SetUpTestSuite is the usual
// place). Code under test that needs a differently configured stand-in
// (e.g. "--no-unit") belongs in a test program of its own.
//
// Qt 5 holds back what the default connections receive until the event
// loop first runs, and then may deliver a signal received later before one
// received earlier. Code under test that was set up before the loop ran
// can see such reordering; spin the loop once (waitFor) before driving
// quick successions of changes if the code under test does not guard
// against it.
//
// The environment variables stay pointed at the (then dead) private buses
// after teardown, so nothing falls back to a real bus.
//
// FERRY_SYSTEMD_STANDIN overrides the stand-in program (default: the one of
// this build tree).
class TestWorld
{
public:
    struct Options
    {
        // Start the systemd stand-in on the private system bus.
        bool systemd = true;
        // Shell command the unit runs (the runtime); empty: the unit only
        // changes state. It is ready once it creates the file named by
        // $FERRY_RUNTIME_READY_FILE (see readyFile()).
        QString runtimeCommand;
        // Extra stand-in options, e.g. "--no-unit",
        // "--unit-file-state=enabled", "--stop-timeout=500".
        QStringList systemdArguments;
        // Point this process's DBUS_*_BUS_ADDRESS at the private buses.
        bool exportEnvironment = true;
        // Milliseconds to wait for each daemon to come up.
        int startTimeoutMs = 10000;
    };

    TestWorld();
    ~TestWorld();
    TestWorld(const TestWorld &) = delete;
    TestWorld &operator=(const TestWorld &) = delete;

    // Starts both buses and, if asked, the stand-in. False with
    // errorString() set if anything fails; what was started is torn down.
    bool start(const Options &options);
    bool start() { return start(Options()); }
    // Tears everything down; safe to call twice.
    void stop();
    bool isRunning() const;
    QString errorString() const;

    // Private directory of this world (mode 0755), removed by stop().
    QString tempDir() const;
    QString systemBusAddress() const;
    QString sessionBusAddress() const;
    // The file the runtime command creates to tell it is ready.
    QString readyFile() const;
    // JSON lines of every systemd call the stand-in received.
    QString systemdCallLogPath() const;
    // KEY=VALUE entries every process of this world gets on top of this
    // process's environment: the bus addresses and FERRY_RUNTIME_READY_FILE.
    QStringList environment() const;

    // ---- further processes ----
    // Starts program (looked up in PATH unless it contains '/') in a process
    // group of its own, with environment() and extraEnv (KEY=VALUE). Its
    // stdout goes to outputFile(pid); stderr is the test's. If readyLine is
    // given, waits until the program prints a line containing it (and fails
    // if it exits first or the time runs out). Returns the pid, or 0.
    qint64 startProcess(const QString &program, const QStringList &arguments,
                        const QStringList &extraEnv = QStringList(),
                        const QString &readyLine = QString(), int timeoutMs = 10000);
    // SIGTERM to the process group, SIGKILL after graceMs. True once the
    // process is gone (also if it was gone already).
    bool stopProcess(qint64 pid, int graceMs = 2000);
    // Sends sig to the process group.
    bool signalProcess(qint64 pid, int sig);
    // False once the process has ended (it is then reaped).
    bool isProcessRunning(qint64 pid);
    // Exit status as from waitpid(), or -1 while running / unknown.
    int processExitStatus(qint64 pid) const;
    // What the process has written to stdout so far.
    QString processOutput(qint64 pid) const;
    QString outputFile(qint64 pid) const;
    qint64 systemdPid() const;

    // ---- systemd stand-in ----
    // Each call below is sent on `via`. D-Bus keeps the order of messages
    // from one connection to one receiver, so when `via` is the connection
    // the code under test uses (by default the process's system bus), every
    // call that code made before has been received and logged by the time
    // these return: "nothing was sent" can be checked without sleeping.
    QList<QJsonObject> systemdCalls(const QDBusConnection &via = QDBusConnection::systemBus()) const;
    // Number of calls of that member (e.g. "StartUnit") so far.
    int systemdCallCount(const QString &member,
                         const QDBusConnection &via = QDBusConnection::systemBus()) const;
    bool clearSystemdCalls(const QDBusConnection &via = QDBusConnection::systemBus());
    // Stores ActiveState/SubState/UnitFileState found in changed and
    // broadcasts exactly `changed` as the unit's PropertiesChanged.
    bool setUnitProperties(const QVariantMap &changed,
                           const QDBusConnection &via = QDBusConnection::systemBus());
    // Broadcasts a PropertiesChanged from the unit object, nothing stored.
    bool emitUnitPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                   const QStringList &invalidated = QStringList(),
                                   const QDBusConnection &via = QDBusConnection::systemBus());
    // The unit's org.freedesktop.systemd1.Unit properties (empty on error).
    QVariantMap unitProperties(const QDBusConnection &via = QDBusConnection::systemBus()) const;
    // Signals the runtime command's process group as an outside kill would.
    bool killRuntime(int sig, const QDBusConnection &via = QDBusConnection::systemBus());
    qint64 runtimePid(const QDBusConnection &via = QDBusConnection::systemBus()) const;
    // Spins the Qt event loop until the unit's ActiveState is `state`.
    bool waitForUnitState(const QString &state, int timeoutMs = 10000,
                          const QDBusConnection &via = QDBusConnection::systemBus()) const;

    // Spins the Qt event loop (if there is an application object) until
    // condition() is true or timeoutMs passed; returns the last result.
    static bool waitFor(const std::function<bool()> &condition, int timeoutMs = 10000);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
