#pragma once

#include <ferry/binder/protocol.h>
#include <ferry/binder/status.h>

#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class ServiceManagerServerPrivate;

// Makes this process the context manager of a device and serves the AIDL
// (add, get, check, list) or HIDL (get, add with interface chain, list,
// listByInterface, registerForNotifications, tryUnregister) service
// manager protocol on the Ipc's main context. Names vanish when their
// object's process dies. Used by the runtime simulator and tests; the
// program ferry-servicemanager wraps it.
class ServiceManagerServer {
public:
    static std::unique_ptr<ServiceManagerServer> create(const std::string &device, Protocol protocol,
                                                        Status *status = nullptr);
    ~ServiceManagerServer();

    std::vector<std::string> names() const;

private:
    ServiceManagerServer();
    std::unique_ptr<ServiceManagerServerPrivate> d;
};

} // namespace ferry::binder
