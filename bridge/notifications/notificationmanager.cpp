#include "notificationmanager.h"

#include "logging.h"

#include <ferry/binder/remote_request.h>

NotificationManager::NotificationManager(QObject *parent)
    : NovumBinderService(QStringLiteral("novum.notification"),
                         QStringLiteral("novum.notifications.INovumNativeNotification"),
                         QStringLiteral("/dev/vororoveredi"), parent)
{
    qCDebug(lcNotif) << "Starting notification manager";
}

NotificationManager::~NotificationManager() = default;

ferry::binder::Status NotificationManager::onTransact(const ferry::binder::RemoteRequest &request,
                                                      uint32_t code, uint32_t flags,
                                                      ferry::binder::LocalReply *reply)
{
    Q_UNUSED(request)
    Q_UNUSED(flags)
    Q_UNUSED(reply)
    qCDebug(lcNotif).nospace() << "Unknown binder call (" << code << ")";
    return ferry::binder::kStatusFailed;
}
