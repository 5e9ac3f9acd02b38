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
    PrivateBus();
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
