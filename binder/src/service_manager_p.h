#pragma once

#include <ferry/binder/service_manager.h>

#include "main_timer_p.h"

#include <map>

namespace ferry::binder {

class Writer;
class Reader;

// One protocol's calls to the service manager at handle 0.
class ServiceManagerBackend {
public:
    explicit ServiceManagerBackend(ServiceManagerPrivate &d) : d(d) {}
    virtual ~ServiceManagerBackend() = default;
    virtual std::shared_ptr<RemoteObject> get(const std::string &name, Status *status) = 0;
    virtual Status add(const std::string &name, const std::shared_ptr<LocalObject> &object) = 0;
    virtual std::vector<std::string> list(Status *status) = 0;
    // Start watching (again, after the manager came back).
    virtual void arm(unsigned long id) = 0;
    virtual void disarm(unsigned long id) = 0;
    // The manager is back, or gone.
    virtual void presenceChanged(bool present) = 0;

protected:
    ServiceManagerPrivate &d;
};

std::unique_ptr<ServiceManagerBackend> newAidlServiceManagerBackend(ServiceManagerPrivate &d);
std::unique_ptr<ServiceManagerBackend> newHidlServiceManagerBackend(ServiceManagerPrivate &d);

class ServiceManagerPrivate {
public:
    struct Watch {
        std::string name;
        std::shared_ptr<ServiceManager::RegistrationHandler> handler;
        std::shared_ptr<RemoteObject> seen;     // AIDL: object under the name at the last poll
        std::shared_ptr<LocalObject> callback;  // HIDL: notification object
    };

    ServiceManager *q = nullptr;
    std::weak_ptr<ServiceManager> self;
    std::shared_ptr<Ipc> ipc;
    std::string device;
    Protocol protocol = Protocol::Aidl28;
    std::unique_ptr<ServiceManagerBackend> backend;

    std::shared_ptr<RemoteObject> manager;   // handle 0 while present
    unsigned long managerDeathId = 0;
    bool present = false;
    unsigned backoffMs = 100;
    MainTimer pingTimer;

    unsigned long nextId = 1;
    std::map<unsigned long, Watch> watches;
    std::map<unsigned long, std::shared_ptr<ServiceManager::PresenceHandler>> presenceHandlers;

    Status call(uint32_t code, const Writer &request, std::unique_ptr<RemoteReply> *reply);
    void checkPresence();
    void managerDied();
    void schedulePing();
    void setPresent(bool present);
    void fireRegistration(unsigned long watchId, const std::string &name);
};

inline ServiceManagerPrivate &serviceManagerPrivate(const ServiceManager &manager)
{
    return *manager.d;
}

} // namespace ferry::binder
