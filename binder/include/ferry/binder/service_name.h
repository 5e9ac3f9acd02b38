#pragma once

#include <ferry/binder/status.h>

#include <memory>
#include <string>

namespace ferry::binder {

class LocalObject;
class ServiceManager;

// Keeps |name| registered for a local object while this is held: added at
// once if the service manager is there, and again whenever the service
// manager comes back after dying. Neither protocol can withdraw a name; a
// HIDL name is withdrawn on destruction where the manager supports it.
class ServiceName {
public:
    static std::shared_ptr<ServiceName> create(const std::shared_ptr<ServiceManager> &manager,
                                               const std::shared_ptr<LocalObject> &object,
                                               const std::string &name);
    ~ServiceName();

    const std::string &name() const { return m_name; }
    bool isRegistered() const { return m_registered; }
    Status lastStatus() const { return m_lastStatus; }

    ServiceName(const ServiceName &) = delete;
    ServiceName &operator=(const ServiceName &) = delete;

private:
    ServiceName() = default;
    void add();

    std::shared_ptr<ServiceManager> m_manager;
    std::shared_ptr<LocalObject> m_object;
    std::string m_name;
    unsigned long m_presenceId = 0;
    bool m_registered = false;
    Status m_lastStatus = kStatusOk;
};

} // namespace ferry::binder
