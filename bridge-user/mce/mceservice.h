#pragma once

#include "novumbinderservice.h"

class DisplayBlanking;

// "novum.mce": lets Android keep the host display from blanking (an app
// holding the screen on, video playback).
class MceService : public NovumBinderService
{
    Q_OBJECT
public:
    explicit MceService(QObject *parent = nullptr);
    MceService(DisplayBlanking *blanking, const QString &device, QObject *parent);
    ~MceService() override;

protected:
    ferry::binder::Status onTransact(const ferry::binder::RemoteRequest &request, uint32_t code, uint32_t flags,
                                     ferry::binder::LocalReply *reply) override;

private:
    DisplayBlanking *m_blanking;
};
