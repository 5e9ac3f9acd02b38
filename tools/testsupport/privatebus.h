#pragma once

#include <QDBusConnection>
#include <QString>
#include <QTemporaryDir>

// A dbus-daemon of its own for one test: nothing reaches the machine's or
// the user's buses. Everything is allowed on it (any user may connect, own
// any name, send and receive anything), so a test process running as root
// and processes running as other users can share it.
//
//     PrivateBus bus;
//     ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.errorString());
//     QDBusConnection c = bus.connect("server");
//
// The daemon is terminated by the destructor (or stop()), and killed by the
// kernel when the thread that constructed the bus ends (PR_SET_PDEATHSIG),
// so a bus that is never destroyed, or a test process that crashes or is
// killed by a timeout, leaves no daemon behind. Construct it from the main
// thread: a bus made from a thread that ends dies with that thread.
class PrivateBus
{
public:
    struct Options
    {
        // Where the bus listens; empty means a private temporary directory.
        // The directory of a given path must exist.
        QString socketPath;
        // The bus type the daemon reports: "session" or "system".
        QString type = QStringLiteral("session");
        // Milliseconds to wait for the daemon to tell its address.
        int startTimeoutMs = 10000;
    };

    explicit PrivateBus(const QString &socketPath = QString());
    explicit PrivateBus(const Options &options);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isRunning() const { return m_pid != 0 && !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // Why the daemon did not start (empty while it runs).
    QString errorString() const { return m_error; }
    qint64 pid() const { return m_pid; }
    // A new private connection under the given name.
    QDBusConnection connect(const QString &name) const;
    // SIGTERM, SIGKILL after graceMs; the daemon is reaped. Safe to call twice.
    // address() stays as it was, so nothing falls back to another bus.
    void stop(int graceMs = 2000);

private:
    bool start(const Options &options);
    bool fail(const QString &message);

    QTemporaryDir m_dir;
    qint64 m_pid = 0;
    QString m_address;
    QString m_error;
};
