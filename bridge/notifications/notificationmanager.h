#pragma once

#include "notificationblacklist.h"
#include "notificationiconcache.h"
#include "novumbindercallbackclientdeathhandler.h"
#include "novumbinderservice.h"

#include <QHash>

class Notification;
class NovumBinderCallbackClient;
struct NotificationRecord;

namespace ferry::binder {
class RemoteObject;
}

// Android's notifications shown as host notifications: the service
// "novum.notification" that Android posts to, keyed by the Android
// notification key, and the callback that carries the user's actions and
// dismissals back to Android.
class NotificationManager : public NovumBinderService, private NovumBinderCallbackClientDeathHandler
{
    Q_OBJECT

public:
    // Requests of "novum.notifications.INovumNativeNotification".
    enum Code { RegisterCallbackCode = 1, PostCode = 2, RemoveCode = 3 };
    // One-way calls of "novum.notifications.INovumNativeNotificationCallback".
    enum CallbackCode { ActionInvokedCode = 1, ClosedCode = 2 };
    // Live notifications at most (by default); past it the oldest is closed
    // on the host and reported to Android as closed there.
    static constexpr int kMaxLive = 500;

    // The blacklist "/etc/ferryd/notif-blacklist" (or the file named by
    // FERRYD_NOTIF_BLACKLIST_PATH), icons in the cache location's "icons".
    explicit NotificationManager(QObject *parent = nullptr);
    NotificationManager(const QString &blacklistPath, const QString &iconDirectory, QObject *parent = nullptr);
    ~NotificationManager() override;

    // Drops the callback and closes every host notification of this
    // process before the name is given up.
    void unregisterService() override;

    int liveCount() const { return int(m_live.size()); }
    void setMaxLive(int max) { m_maxLive = max; }

    // One request of Android, past the interface check; false for an
    // unknown code.
    bool handleRequest(uint32_t code, NovumParcel &reader);
    bool hasCallback() const { return m_callback != nullptr; }

protected:
    ferry::binder::Status onTransact(const ferry::binder::RemoteRequest &request, uint32_t code,
                                     uint32_t flags, ferry::binder::LocalReply *reply) override;

private:
    struct Entry
    {
        Notification *notification = nullptr;
        quint64 serial = 0;   // order of posting, for the oldest past the cap
    };

    void post(const NotificationRecord &record);
    void removeFromAndroid(const QString &key);
    void registerCallback(const std::shared_ptr<ferry::binder::RemoteObject> &callback);
    bool dropCallback();
    void reset();
    void evictOldest();
    void onActionInvoked(Notification *notification, const QString &name);
    void onClosed(Notification *notification, uint reason);
    void release(Notification *notification);
    void tellAndroid(CallbackCode code, const QString &key, const QString &action = QString());
    void clientDied(NovumBinderCallbackClient *client) override;

    QHash<QString, Entry> m_live;
    quint64 m_serial = 0;
    int m_maxLive = kMaxLive;
    NotificationIconCache m_icons;
    std::shared_ptr<ferry::binder::RemoteObject> m_callback;
    NovumBinderCallbackClient *m_callbackClient = nullptr;
    NotificationBlacklist m_blacklist;
};
