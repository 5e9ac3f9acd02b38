#pragma once

#include "novumbinderservice.h"

#include <QDBusConnection>

// "novum.NativeCall": Android hands links to open and contacts to create
// to the host's e-mail, messages, browser and contacts applications.
class NovumNativeCall : public NovumBinderService
{
    Q_OBJECT
public:
    explicit NovumNativeCall(QObject *parent = nullptr);
    NovumNativeCall(const QDBusConnection &session, const QString &device, QObject *parent);
    ~NovumNativeCall() override;

    // What one request may carry; more is refused as hostile.
    static constexpr int kMaxUrlLength = 64 * 1024;
    static constexpr int kMaxFieldLength = 4096;
    static constexpr int kMaxListEntries = 64;

protected:
    ferry::binder::Status onTransact(const ferry::binder::RemoteRequest &request, uint32_t code, uint32_t flags,
                                     ferry::binder::LocalReply *reply) override;

private:
    QDBusConnection m_session;
};
