#include "fakenotificationserver.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QThread>

FakeNotificationServer::FakeNotificationServer(const QDBusConnection &connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
    m_registered = m_connection.registerObject("/org/freedesktop/Notifications", this,
                                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportScriptableSignals) &&
                   m_connection.registerService("org.freedesktop.Notifications");
}

FakeNotificationServer::~FakeNotificationServer()
{
    m_connection.unregisterService("org.freedesktop.Notifications");
    m_connection.unregisterObject("/org/freedesktop/Notifications");
}

uint FakeNotificationServer::Notify(const QString &appName, uint replacesId, const QString &appIcon,
                                    const QString &summary, const QString &body, const QStringList &actions,
                                    const QVariantMap &hints, int expireTimeout)
{
    if (m_stalled) {
        if (calledFromDBus())
            setDelayedReply(true);
        return 0;
    }
    Entry entry{appName, 0, replacesId, appIcon, summary, body, actions, hints, expireTimeout};
    entry.id = (replacesId != 0 && live.contains(replacesId)) ? replacesId : m_nextId++;
    published << entry;
    live.insert(entry.id, entry);
    emit notified();
    return entry.id;
}

void FakeNotificationServer::CloseNotification(uint id)
{
    closeRequests << id;
    if (live.remove(id))
        emit NotificationClosed(id, 3);
}

QStringList FakeNotificationServer::GetCapabilities()
{
    return {"body", "actions"};
}

namespace {
// One entry of the nemo listing, a(susssasa{sv}i).
struct ListedNotification
{
    FakeNotificationServer::Entry entry;
};

QDBusArgument &operator<<(QDBusArgument &arg, const ListedNotification &n)
{
    const FakeNotificationServer::Entry &e = n.entry;
    arg.beginStructure();
    arg << e.appName << e.id << e.appIcon << e.summary << e.body << e.actions << e.hints << e.expireTimeout;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ListedNotification &n)
{
    FakeNotificationServer::Entry &e = n.entry;
    arg.beginStructure();
    arg >> e.appName >> e.id >> e.appIcon >> e.summary >> e.body >> e.actions >> e.hints >> e.expireTimeout;
    arg.endStructure();
    return arg;
}
} // namespace

Q_DECLARE_METATYPE(ListedNotification)

void FakeNotificationServer::GetNotifications(const QString &appName, const QDBusMessage &message)
{
    static const bool registered = [] {
        qDBusRegisterMetaType<ListedNotification>();
        qDBusRegisterMetaType<QList<ListedNotification>>();
        return true;
    }();
    Q_UNUSED(registered);
    message.setDelayedReply(true);
    QList<ListedNotification> list;
    // By owner, as the nemo server lists them; an entry without owner by
    // its application name.
    for (const Entry &e : qAsConst(live)) {
        if (e.hints.value(QStringLiteral("x-nemo-owner"), e.appName).toString() == appName)
            list << ListedNotification{e};
    }
    m_connection.send(message.createReply(QVariant::fromValue(list)));
}

// Bus signals must leave from the server's own thread.
void FakeNotificationServer::invokeAction(uint id, const QString &action)
{
    QMetaObject::invokeMethod(this, [this, id, action] { emit ActionInvoked(id, action); }, Qt::QueuedConnection);
}

void FakeNotificationServer::closeFromServer(uint id, uint reason)
{
    QMetaObject::invokeMethod(
        this,
        [this, id, reason] {
            if (live.remove(id))
                emit NotificationClosed(id, reason);
        },
        Qt::QueuedConnection);
}

template <typename T>
T FakeNotificationServer::copied(const T &member)
{
    if (QThread::currentThread() == thread())
        return member;
    T copy;
    QMetaObject::invokeMethod(this, [&] { copy = member; }, Qt::BlockingQueuedConnection);
    return copy;
}

QList<FakeNotificationServer::Entry> FakeNotificationServer::publishedEntries()
{
    return copied(published);
}

QMap<uint, FakeNotificationServer::Entry> FakeNotificationServer::liveEntries()
{
    return copied(live);
}

QList<uint> FakeNotificationServer::closeRequestIds()
{
    return copied(closeRequests);
}
