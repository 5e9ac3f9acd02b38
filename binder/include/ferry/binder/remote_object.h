#pragma once

#include <ferry/binder/status.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

namespace ferry::binder {

class Ipc;

// A binder object of another process, known by its handle. Holding one
// holds a strong reference (BC_ACQUIRE) and a death notification. Death
// (the owner died, or a call found it dead) runs the death handlers once on
// the Ipc's main context; the reference is then released. There is one
// RemoteObject per live handle and device in the process.
class RemoteObject : public std::enable_shared_from_this<RemoteObject> {
public:
    using DeathHandler = std::function<void()>;

    ~RemoteObject();

    const std::shared_ptr<Ipc> &ipc() const { return m_ipc; }
    uint32_t handle() const { return m_handle; }
    bool isDead() const;

    unsigned long addDeathHandler(DeathHandler handler);
    void removeHandler(unsigned long id);

    Status ping();   // synchronous '_PNG' (HIDL: IBase ping)

    RemoteObject(const RemoteObject &) = delete;
    RemoteObject &operator=(const RemoteObject &) = delete;

private:
    // Made, killed and mourned by the Ipc.
    friend class IpcPrivate;
    static std::shared_ptr<RemoteObject> create(const std::shared_ptr<Ipc> &ipc, uint32_t handle,
                                                uint64_t cookie);
    uint64_t cookie() const { return m_cookie; }
    bool markDead();       // true the first time
    void runDeathHandlers();
    RemoteObject(const std::shared_ptr<Ipc> &ipc, uint32_t handle, uint64_t cookie);

    std::shared_ptr<Ipc> m_ipc;
    uint32_t m_handle = 0;
    uint64_t m_cookie = 0;
    mutable std::mutex m_mutex;
    bool m_dead = false;
    unsigned long m_nextId = 1;
    std::map<unsigned long, std::shared_ptr<DeathHandler>> m_handlers;
};

} // namespace ferry::binder
