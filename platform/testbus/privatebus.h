#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A dbus-daemon of its own for one test: nothing reaches the machine's or
// the user's buses. Everything is allowed on it, so a test process running
// as root can own any name.
class PrivateBus
{
public:
    // socketPath: where the bus listens; empty means a private temporary
    // directory. The directory of a given path must exist.
    explicit PrivateBus(const QString &socketPath = QString());
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new private connection under the given name.
    QDBusConnection connect(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
