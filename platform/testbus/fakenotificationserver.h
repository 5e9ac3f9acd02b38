#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <atomic>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

// A notification server for tests: serves "org.freedesktop.Notifications"
// (with the nemo listing extension) on a given connection and records what
// it is asked.
class FakeNotificationServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Entry
    {
        QString appName;
        uint id = 0;
        uint replacesId = 0;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = -1;
    };

    explicit FakeNotificationServer(const QDBusConnection &connection, QObject *parent = nullptr);
    ~FakeNotificationServer() override;
    bool isRegistered() const { return m_registered; }

    QList<Entry> published;        // every Notify call, in order
    QList<uint> closeRequests;     // every CloseNotification call
    QMap<uint, Entry> live;        // shown right now

    // The same, from any thread (copied on the server's own thread).
    QList<Entry> publishedEntries();
    QMap<uint, Entry> liveEntries();
    QList<uint> closeRequestIds();

    // A stalled server never answers Notify.
    void setStalled(bool stalled) { m_stalled = stalled; }
    // As the user would, from any thread: picks an action of a
    // notification, or closes it (reason 2: dismissed by the user).
    void invokeAction(uint id, const QString &action);
    void closeFromServer(uint id, uint reason);

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout);
    void CloseNotification(uint id);
    QStringList GetCapabilities();
    void GetNotifications(const QString &appName, const QDBusMessage &message);

signals:
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString &actionKey);
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
    void notified();

private:
    template <typename T>
    T copied(const T &member);

    QDBusConnection m_connection;
    bool m_registered = false;
    uint m_nextId = 1;
    std::atomic<bool> m_stalled{false};
};
