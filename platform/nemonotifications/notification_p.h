#pragma once

#include <QHash>
#include <QObject>

class Notification;

// One listener on the server's signals for every notification of this
// process, routing each signal to the objects of its id: a signal costs the
// same whether one notification is live or hundreds.
class NotificationSignalRouter : public QObject
{
    Q_OBJECT

public:
    static NotificationSignalRouter *instance();

    // Routes the signals of id to notification (none for id 0), instead of
    // the id it had; connects to the bus on first use.
    void track(Notification *notification, uint id);
    void untrack(Notification *notification);

private slots:
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    QList<Notification *> receivers(uint id) const;

    bool m_connected = false;
    QHash<Notification *, uint> m_ids;
    QMultiHash<uint, Notification *> m_byId;
};
