#include "novumbinderservice.h"

#include "logging.h"
#include "novumparcel.h"
#include "servicecontroller.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

NovumBinderService::NovumBinderService(const QString &serviceName,
                                       const QString &interfaceDescriptor, const QString &device,
                                       QObject *parent)
    : QObject(parent)
    , m_device(device)
    , m_interface(interfaceDescriptor)
    , m_serviceName(serviceName)
{
    ServiceController *controller = ServiceController::instance();
    connect(controller, &ServiceController::serviceStateChanged, this,
            QOverload<>::of(&NovumBinderService::onServiceStateChanged));
    const QString state = controller->serviceState();
    if (state == QLatin1String("activating") || state == QLatin1String("active"))
        onServiceStateChanged(true);
}

NovumBinderService::~NovumBinderService()
{
    // Not the virtual: subclasses are gone already.
    NovumBinderService::unregisterService();
}

void NovumBinderService::onServiceStateChanged()
{
    onServiceStateChanged(false);
}

void NovumBinderService::onServiceStateChanged(bool forceStartAttempt)
{
    const QString state = ServiceController::instance()->serviceState();
    if (state == QLatin1String("activating") || forceStartAttempt)
        registerService();
    else if (state == QLatin1String("deactivating"))
        unregisterService();
}

void NovumBinderService::registerService()
{
    if (!m_serviceManager) {
        m_serviceManager = ferry::binder::ServiceManager::get(m_device.toStdString());
        if (!m_serviceManager) {
            qCWarning(lcService) << "Unable to find Novum service manager for" << m_serviceName;
            return;
        }
    }
    if (!m_localObject) {
        m_localObject = m_serviceManager->newLocalObject(
            m_interface.toStdString(),
            [this](const ferry::binder::RemoteRequest &request, uint32_t code, uint32_t flags,
                   ferry::binder::LocalReply *reply) {
                return onTransact(request, code, flags, reply);
            });
    }
    if (m_serviceNameRegistration)
        return;
    qCDebug(lcBinder) << "Registering Novum service for" << m_serviceName;
    m_serviceNameRegistration = ferry::binder::ServiceName::create(
        m_serviceManager, m_localObject, m_serviceName.toStdString());
}

void NovumBinderService::unregisterService()
{
    m_serviceNameRegistration.reset();
    if (m_localObject) {
        // Android may still hold the object; make sure its calls no longer
        // reach this QObject.
        m_localObject->drop();
        m_localObject.reset();
    }
    m_serviceManager.reset();
}

ferry::binder::Status NovumBinderService::onTransact(const ferry::binder::RemoteRequest &request,
                                                     uint32_t code, uint32_t flags,
                                                     ferry::binder::LocalReply *reply)
{
    NovumParcel reader(&request);
    bool handled;
    if ((flags & ferry::binder::kFlagOneway) || !reply) {
        NovumParcel ignored;
        handled = processRequest(int32_t(code), reader, ignored);
    } else {
        NovumParcel writer(reply);
        handled = processRequest(int32_t(code), reader, writer);
    }
    return handled ? ferry::binder::kStatusOk : ferry::binder::kStatusFailed;
}

bool NovumBinderService::processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer)
{
    Q_UNUSED(code)
    Q_UNUSED(reader)
    Q_UNUSED(writer)
    qCCritical(lcService).nospace().noquote() << "ProcessRequest not implemented for " << m_serviceName;
    return false;
}
