#pragma once

#include "fakenotificationserver.h"
#include "privatebus.h"
#include "testworld.h"

#include <QDBusMessage>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>
#include <memory>

// Everything a running ferryd needs, inside the test guest: an active user
// on seat0 (a logind seat file), that user's session bus at the path the
// daemon derives from the uid, a notification server on it, the private
// system bus with the systemd stand-in, and a data root, build properties,
// policy file, partner-space directory and desktop-side directories (desktop
// entries, icons, settings entries, sharing registry) of the test's own.
// The data root is exported to the test's environment as well, so that a
// simulated runtime started from it finds the same tree.
class FerrydWorld
{
public:
    static constexpr uint kUserUid = 4242;

    FerrydWorld();
    ~FerrydWorld();

    // False with a reason when the world cannot be built (e.g. not in the guest).
    // runtimeCommand: what the runtime unit runs (empty: it only changes state).
    bool start(QString *error, const QString &runtimeCommand = QString(), int sdk = 29);
    // Starts ferryd (with extra NAME=value settings, if any) and waits for
    // its bus name. Returns its pid or 0.
    qint64 startDaemon(const QStringList &extraEnvironment = {});
    bool stopDaemon();
    qint64 daemonPid() const { return m_daemonPid; }

    TestWorld &world() { return m_world; }
    // The active user's session bus, as seen by the test.
    QDBusConnection sessionConnection() const { return *m_sessionConnection; }
    // What the notification server was asked to show so far (the server
    // answers from a thread of its own: the daemon's calls to it block).
    QList<FakeNotificationServer::Entry> notificationsPublished();
    // The server itself, to act as the user (invokeAction, closeFromServer),
    // and its bus address, for other programs of the user.
    FakeNotificationServer *notificationServer() { return m_notifications.get(); }
    QString sessionBusAddress() const { return m_sessionBus ? m_sessionBus->address() : QString(); }
    // Waits until at least count notifications were published.
    bool waitForNotifications(int count, int timeoutMs = 10000);
    QString dataRoot() const { return m_dir.filePath("android"); }
    QString incomingDir() const { return dataRoot() + "/data/qrs-staging/app/incoming/"; }
    QString packagedDir() const { return dataRoot() + "/data/qrs-staging/app/packaged/"; }
    QString partnerDir() const { return m_dir.filePath("partner") + "/"; }
    QString applicationsDir() const { return m_dir.filePath("applications") + "/"; }
    QString iconDir() const { return m_dir.filePath("icons") + "/"; }
    QString settingsEntriesDir() const { return m_dir.filePath("settings-entries") + "/"; }
    QString sharingRegistry() const { return m_dir.filePath("state/sharing.json"); }
    QString policyFile() const { return m_dir.filePath("policy"); }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString buildPropFile() const { return m_dir.filePath("build.prop"); }
    QStringList daemonEnvironment() const;

    void setPolicy(const QByteArray &content);
    // A file with the given mode, owned by root.
    QString makeFile(const QString &name, const QByteArray &content, uint mode = 0644);

    // A call to the daemon from this (root) process.
    QDBusMessage call(const QString &method, const QVariantList &args = {});
    // A call from a process running as uid/gid (dbus-send); its output.
    QString callAs(uint uid, uint gid, const QString &method, const QStringList &dbusSendArgs, int *exitCode = nullptr);

private:
    QTemporaryDir m_dir;
    TestWorld m_world;
    std::unique_ptr<PrivateBus> m_sessionBus;
    std::unique_ptr<QDBusConnection> m_sessionConnection;
    std::unique_ptr<FakeNotificationServer> m_notifications;
    QThread m_notificationThread;
    qint64 m_daemonPid = 0;
};
