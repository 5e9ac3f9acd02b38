#include <ferry/binder/local_object.h>

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/log.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_request.h>

#include "hidl_base_p.h"
#include "ipc_p.h"

#include <cerrno>

namespace ferry::binder {

LocalObject::LocalObject(const std::shared_ptr<Ipc> &ipc, std::vector<std::string> interfaces, Handler handler)
    : m_ipc(ipc), m_interfaces(std::move(interfaces)), m_handler(std::make_shared<Handler>(std::move(handler)))
{
}

std::shared_ptr<LocalObject> LocalObject::create(const std::shared_ptr<Ipc> &ipc, std::vector<std::string> interfaces,
                                                 Handler handler)
{
    if (!ipc)
        return nullptr;
    std::shared_ptr<LocalObject> object(new LocalObject(ipc, std::move(interfaces), std::move(handler)));
    object->m_id = ipcPrivate(*ipc).registerLocalObject(object);
    return object;
}

std::shared_ptr<LocalObject> LocalObject::create(const std::shared_ptr<Ipc> &ipc, const std::string &interface,
                                                 Handler handler)
{
    std::vector<std::string> interfaces;
    if (!interface.empty())
        interfaces.push_back(interface);
    return create(ipc, std::move(interfaces), std::move(handler));
}

std::shared_ptr<LocalObject> LocalObject::createStandIn(const std::shared_ptr<Ipc> &ipc, Handler handler)
{
    if (!ipc)
        return nullptr;
    std::shared_ptr<LocalObject> object(new LocalObject(ipc, {}, std::move(handler)));
    object->m_standIn = true;
    object->m_id = ipcPrivate(*ipc).registerLocalObject(object);
    return object;
}

LocalObject::~LocalObject()
{
    if (m_id)
        ipcPrivate(*m_ipc).unregisterLocalObject(m_id);
}

bool LocalObject::hasInterface(const std::string &interface) const
{
    for (const std::string &mine : m_interfaces) {
        if (mine == interface)
            return true;
    }
    return false;
}

void LocalObject::drop()
{
    m_handler.reset();
}

bool LocalObject::isDropped() const
{
    return !m_handler;
}

Status LocalObject::handle(const RemoteRequest &request, LocalReply *reply)
{
    uint32_t code = request.code();
    Protocol protocol = m_ipc->protocol();
    bool answeredHere = !m_standIn;
    if (answeredHere && protocol == Protocol::Hidl) {
        if (isHidlBaseCode(code) && request.interface() == kHidlBaseInterface)
            return answerHidlBase(*this, request, reply);
    } else if (answeredHere && code == kPingTransaction) {
        if (reply)
            reply->writer().appendInt32(0);
        return kStatusOk;
    } else if (answeredHere && code == kInterfaceTransaction) {
        if (reply)
            reply->writer().appendString16(m_interfaces.empty() ? std::string() : m_interfaces.front());
        return kStatusOk;
    }
    if (!m_interfaces.empty() && !hasInterface(request.interface())) {
        BINDER_WARN("refusing code %u for interface \"%s\" on %s", code, request.interface().c_str(),
                    m_interfaces.front().c_str());
        return -EPERM;
    }
    // Keep the handler alive even if it drops this object while running.
    std::shared_ptr<Handler> handler = m_handler;
    if (!handler)
        return kStatusDeadObject;
    if (!*handler)
        return kStatusFailed;
    return (*handler)(request, code, request.flags(), reply);
}

} // namespace ferry::binder
