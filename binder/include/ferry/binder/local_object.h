#pragma once

#include <ferry/binder/status.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class Ipc;
class LocalReply;
class RemoteRequest;

// An object of this process that others call. The handler runs on the
// Ipc's main context; |reply| is null for one-way requests, which never get
// a reply. Returning a non-zero status sends that status instead of the
// reply. A handler may call request.block() and complete the request later
// (BlockedRequest); other requests keep being served meanwhile.
//
// Requests whose header does not name one of the object's interfaces are
// refused. Pings and interface queries are answered by the library, and on
// HIDL devices so are the IBase methods (interfaceChain is the object's
// interfaces followed by "android.hidl.base@1.0::IBase").
//
// The object stays alive while the kernel holds references to it (a
// service manager, a peer holding it), even if its creator lets go.
class LocalObject : public std::enable_shared_from_this<LocalObject> {
public:
    using Handler = std::function<Status(const RemoteRequest &request, uint32_t code,
                                         uint32_t flags, LocalReply *reply)>;

    static std::shared_ptr<LocalObject> create(const std::shared_ptr<Ipc> &ipc,
                                               std::vector<std::string> interfaces, Handler handler);
    static std::shared_ptr<LocalObject> create(const std::shared_ptr<Ipc> &ipc,
                                               const std::string &interface, Handler handler);
    // A stand-in for an object elsewhere: it answers nothing itself, so
    // pings, interface queries and the IBase methods reach |handler| like
    // any other request, whatever interface their header names.
    static std::shared_ptr<LocalObject> createStandIn(const std::shared_ptr<Ipc> &ipc, Handler handler);
    ~LocalObject();

    const std::shared_ptr<Ipc> &ipc() const { return m_ipc; }
    const std::vector<std::string> &interfaces() const { return m_interfaces; }
    bool hasInterface(const std::string &interface) const;
    uint64_t id() const { return m_id; }   // the binder pointer/cookie the kernel sees

    // Stop serving: the handler is released now and later requests fail
    // with kStatusDeadObject.
    void drop();

    LocalObject(const LocalObject &) = delete;
    LocalObject &operator=(const LocalObject &) = delete;

private:
    // The Ipc serves requests through handle() on its main context.
    friend class IpcPrivate;
    friend bool isDropped(const LocalObject &object);
    bool isDropped() const;
    Status handle(const RemoteRequest &request, LocalReply *reply);
    LocalObject(const std::shared_ptr<Ipc> &ipc, std::vector<std::string> interfaces, Handler handler);
    Status handleHidlBase(const RemoteRequest &request, LocalReply *reply, bool *handled);

    std::shared_ptr<Ipc> m_ipc;
    std::vector<std::string> m_interfaces;
    std::shared_ptr<Handler> m_handler;
    uint64_t m_id = 0;
    bool m_standIn = false;
};

} // namespace ferry::binder
