#pragma once

#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

class NovumParcel;

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
class ServiceManager;
class ServiceName;
}

// A named service of this process that Android calls. The name is
// registered while the runtime is starting ("activating") or, at
// construction, already up; it stays while the runtime runs and is given up
// when the runtime stops ("deactivating"). Subclasses serve requests in
// processRequest().
class NovumBinderService : public QObject
{
    Q_OBJECT

public:
    NovumBinderService(const QString &serviceName, const QString &interfaceDescriptor,
                       const QString &device, QObject *parent = nullptr);
    ~NovumBinderService() override;

    QString serviceName() const { return m_serviceName; }
    QString interfaceDescriptor() const { return m_interface; }
    QString device() const { return m_device; }
    bool isRegistered() const { return m_serviceNameRegistration != nullptr; }

    virtual void unregisterService();

protected:
    // Serves one request; the reply goes to writer. One-way requests get a
    // writer that drops everything. Returns false to answer with a failure
    // status.
    virtual ferry::binder::Status onTransact(const ferry::binder::RemoteRequest &request,
                                             uint32_t code, uint32_t flags,
                                             ferry::binder::LocalReply *reply);
    virtual bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer);

protected slots:
    void onServiceStateChanged(bool forceStartAttempt);
    void onServiceStateChanged();

private:
    void registerService();

    std::shared_ptr<ferry::binder::ServiceManager> m_serviceManager;
    std::shared_ptr<ferry::binder::ServiceName> m_serviceNameRegistration;
    std::shared_ptr<ferry::binder::LocalObject> m_localObject;
    const QString m_device;
    const QString m_interface;
    const QString m_serviceName;
};
