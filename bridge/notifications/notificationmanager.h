#pragma once

#include "novumbinderservice.h"

// Android's notifications shown as host notifications: the service
// "novum.notification" that Android posts to, and the callbacks that carry
// the user's actions and dismissals back.
class NotificationManager : public NovumBinderService
{
    Q_OBJECT

public:
    explicit NotificationManager(QObject *parent = nullptr);
    ~NotificationManager() override;

protected:
    ferry::binder::Status onTransact(const ferry::binder::RemoteRequest &request, uint32_t code,
                                     uint32_t flags, ferry::binder::LocalReply *reply) override;
};
