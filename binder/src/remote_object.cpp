#include <ferry/binder/remote_object.h>

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_reply.h>

#include "ipc_p.h"
#include "rpc_protocol_p.h"

namespace ferry::binder {

RemoteObject::RemoteObject(const std::shared_ptr<Ipc> &ipc, uint32_t handle, uint64_t cookie)
    : m_ipc(ipc), m_handle(handle), m_cookie(cookie)
{
}

std::shared_ptr<RemoteObject> RemoteObject::create(const std::shared_ptr<Ipc> &ipc, uint32_t handle, uint64_t cookie)
{
    return std::shared_ptr<RemoteObject>(new RemoteObject(ipc, handle, cookie));
}

RemoteObject::~RemoteObject()
{
    ipcPrivate(*m_ipc).dropRemoteObject(m_handle, m_cookie);
}

bool RemoteObject::isDead() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dead;
}

unsigned long RemoteObject::addDeathHandler(DeathHandler handler)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    unsigned long id = m_nextId++;
    m_handlers[id] = std::make_shared<DeathHandler>(std::move(handler));
    return id;
}

void RemoteObject::removeHandler(unsigned long id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_handlers.erase(id);
}

bool RemoteObject::markDead()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dead)
        return false;
    m_dead = true;
    return true;
}

void RemoteObject::runDeathHandlers()
{
    // Handlers may remove themselves or others while we run.
    std::map<unsigned long, std::shared_ptr<DeathHandler>> handlers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        handlers = m_handlers;
    }
    for (auto &[id, handler] : handlers) {
        bool present;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            present = m_handlers.count(id) != 0;
        }
        if (present)
            (*handler)();
    }
}

Status RemoteObject::ping()
{
    Protocol protocol = m_ipc->protocol();
    LocalRequest request(protocol, protocol == Protocol::Hidl ? kHidlBaseInterface : "");
    std::unique_ptr<RemoteReply> reply;
    return m_ipc->transactSync(m_handle, RpcProtocol::forProtocol(protocol).pingCode(), request.writer(), &reply);
}

} // namespace ferry::binder
