#include "novumbindercallback.h"

#include "novumbinderrequesthandler.h"
#include "novumparcel.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

NovumBinderCallback::NovumBinderCallback(
    const std::shared_ptr<ferry::binder::ServiceManager> &serviceManager,
    const QString &interfaceDescriptor, NovumBinderRequestHandler *handler, QObject *parent)
    : QObject(parent)
    , m_handler(handler)
{
    if (serviceManager) {
        m_localObject = serviceManager->newLocalObject(
            interfaceDescriptor.toStdString(),
            [this](const ferry::binder::RemoteRequest &request, uint32_t code, uint32_t flags,
                   ferry::binder::LocalReply *reply) {
                return onTransact(request, code, flags, reply);
            });
    }
}

NovumBinderCallback::~NovumBinderCallback()
{
    dropLocalObject();
}

void NovumBinderCallback::onConnectionChanged(bool connected)
{
    if (!connected)
        dropLocalObject();
}

void NovumBinderCallback::dropLocalObject()
{
    // The kernel may keep the object alive for Android's references; drop()
    // makes sure none of them reaches this QObject any more.
    if (m_localObject) {
        m_localObject->drop();
        m_localObject.reset();
    }
}

ferry::binder::Status NovumBinderCallback::onTransact(const ferry::binder::RemoteRequest &request,
                                                      uint32_t code, uint32_t flags,
                                                      ferry::binder::LocalReply *reply)
{
    NovumParcel reader(&request);
    if (!m_handler)
        return ferry::binder::kStatusFailed;
    const QString interface = QString::fromStdString(request.interface());
    bool handled;
    if ((flags & ferry::binder::kFlagOneway) || !reply) {
        NovumParcel ignored;
        handled = m_handler->processRequestFor(interface, int32_t(code), reader, ignored);
    } else {
        NovumParcel writer(reply);
        handled = m_handler->processRequestFor(interface, int32_t(code), reader, writer);
    }
    return handled ? ferry::binder::kStatusOk : ferry::binder::kStatusFailed;
}
