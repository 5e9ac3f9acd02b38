#pragma once

#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class BridgePrivate;
class ServiceManager;

// Forwards a HIDL service from one service manager to another: watches
// "I/name" for each interface I on |destination|; when the object appears
// there, registers a forwarding object under |name| on |source| that relays
// every call (and its reply) to it. When the destination object dies the
// forwarder is withdrawn, and the watch waits for it to come back.
// Fds and fd arrays in relayed parcels are passed on as copies. A binder
// object in them reaches the other side as a stand-in that relays its calls
// back (one per object; one that comes back is the object again), held
// while the other side holds it and dropped when its object dies.
class Bridge {
public:
    static std::unique_ptr<Bridge> create(const std::shared_ptr<ServiceManager> &source,
                                          const std::shared_ptr<ServiceManager> &destination,
                                          const std::string &name,
                                          const std::vector<std::string> &interfaces);
    ~Bridge();

    bool isForwarding() const;

private:
    Bridge();
    std::unique_ptr<BridgePrivate> d;
};

} // namespace ferry::binder
