#pragma once

#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

class NovumBinderRequestHandler;

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
class ServiceManager;
}

// An anonymous local object handed to Android (observers, listeners), whose
// requests go to a NovumBinderRequestHandler. It stops serving when the
// connection it was made on goes away.
class NovumBinderCallback : public QObject
{
    Q_OBJECT

public:
    NovumBinderCallback(const std::shared_ptr<ferry::binder::ServiceManager> &serviceManager,
                        const QString &interfaceDescriptor, NovumBinderRequestHandler *handler,
                        QObject *parent = nullptr);
    ~NovumBinderCallback() override;

    // The object to write into a request (NovumParcel::writeLocalObject);
    // null once dropped.
    std::shared_ptr<ferry::binder::LocalObject> localObject() const { return m_localObject; }

public slots:
    void onConnectionChanged(bool connected);

private:
    ferry::binder::Status onTransact(const ferry::binder::RemoteRequest &request, uint32_t code,
                                     uint32_t flags, ferry::binder::LocalReply *reply);
    void dropLocalObject();

    std::shared_ptr<ferry::binder::LocalObject> m_localObject;
    NovumBinderRequestHandler *m_handler = nullptr;
};
