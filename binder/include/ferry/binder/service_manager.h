#pragma once

#include <ferry/binder/local_object.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/status.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class Ipc;
class RemoteObject;
class ServiceManagerPrivate;

// Client of a device's service manager (handle 0). One per device and
// process, shared like the Ipc. All calls are synchronous on the calling
// (main) thread; handlers run on the Ipc's main context.
//
// Names: on AIDL devices a plain service name ("package"); on HIDL devices
// getServiceSync() and addRegistrationHandler() take "fqName/instance"
// ("android.hardware.vibrator@1.0::IVibrator/default_novum"; without a
// "/" the instance is "default") and addServiceSync() takes the instance
// ("default_novum"): the service
// manager asks the object for its interface chain and registers every
// "fqName/instance".
//
// Registration handlers are called with the name when it gets registered
// (HIDL: with "fqName/instance", also for a name already present when the
// handler is added; AIDL: noticed by asking checkService for each watched
// name every 2000 ms, and again after it vanished). Presence handlers are
// called with false when the service manager dies and with true when it
// is back (pinged with a back-off from 100 ms to 1000 ms); watches are
// re-armed then.
class ServiceManager : public std::enable_shared_from_this<ServiceManager> {
public:
    using RegistrationHandler = std::function<void(const std::string &name)>;
    using PresenceHandler = std::function<void(bool present)>;

    static std::shared_ptr<ServiceManager> get(const std::string &device);   // protocolForDevice()
    static std::shared_ptr<ServiceManager> get(const std::string &device, Protocol protocol);
    ~ServiceManager();

    const std::shared_ptr<Ipc> &ipc() const;
    Protocol protocol() const;
    const std::string &device() const;
    bool isPresent() const;

    std::shared_ptr<RemoteObject> getServiceSync(const std::string &name, Status *status = nullptr);
    Status addServiceSync(const std::string &name, const std::shared_ptr<LocalObject> &object);
    std::vector<std::string> listSync(Status *status = nullptr);

    unsigned long addRegistrationHandler(const std::string &name, RegistrationHandler handler);
    unsigned long addPresenceHandler(PresenceHandler handler);
    void removeHandler(unsigned long id);

    std::shared_ptr<LocalObject> newLocalObject(const std::string &interface, LocalObject::Handler handler);
    std::shared_ptr<LocalObject> newLocalObject(std::vector<std::string> interfaces, LocalObject::Handler handler);

    // HIDL only: withdraw "fqName/instance" registered for |object| (a
    // manager@1.2 call; kStatusFailed where the manager lacks it).
    Status tryUnregisterSync(const std::string &fqName, const std::string &instance,
                             const std::shared_ptr<LocalObject> &object);

    ServiceManager(const ServiceManager &) = delete;
    ServiceManager &operator=(const ServiceManager &) = delete;

private:
    friend class ServiceManagerPrivate;
    friend ServiceManagerPrivate &serviceManagerPrivate(const ServiceManager &manager);
    ServiceManager();
    std::unique_ptr<ServiceManagerPrivate> d;
};

} // namespace ferry::binder
