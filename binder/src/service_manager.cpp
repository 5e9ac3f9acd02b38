#include <ferry/binder/service_manager.h>

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

#include "ipc_p.h"
#include "rpc_protocol_p.h"
#include "service_manager_p.h"

#include <cerrno>

namespace ferry::binder {

namespace {

constexpr unsigned kFirstPingMs = 100;
constexpr unsigned kMaxPingMs = 1000;

std::mutex &registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, std::weak_ptr<ServiceManager>> &registry()
{
    static auto *map = new std::map<std::string, std::weak_ptr<ServiceManager>>;
    return *map;
}

std::shared_ptr<ServiceManager> registered(const std::string &device)
{
    std::lock_guard<std::mutex> lock(registryMutex());
    auto it = registry().find(device);
    return it != registry().end() ? it->second.lock() : nullptr;
}

} // namespace

ServiceManager::ServiceManager() : d(std::make_unique<ServiceManagerPrivate>()) {}

ServiceManager::~ServiceManager()
{
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(d->device);
        if (it != registry().end() && it->second.expired())
            registry().erase(it);
    }
    d->pingTimer.stop();
    if (d->backend) {
        std::vector<unsigned long> ids;
        for (auto &[id, watch] : d->watches)
            ids.push_back(id);
        for (unsigned long id : ids)
            d->backend->disarm(id);
    }
    d->watches.clear();
    if (d->manager && d->managerDeathId)
        d->manager->removeHandler(d->managerDeathId);
}

std::shared_ptr<ServiceManager> ServiceManager::get(const std::string &device)
{
    if (std::shared_ptr<ServiceManager> manager = registered(device))
        return manager;
    return get(device, protocolForDevice(device));
}

// The registry lock is never held across a call: handlers served while
// this thread waits (for the first ping, say) may ask for a manager too.
std::shared_ptr<ServiceManager> ServiceManager::get(const std::string &device, Protocol protocol)
{
    if (std::shared_ptr<ServiceManager> manager = registered(device))
        return manager;
    std::shared_ptr<Ipc> ipc = Ipc::get(device, protocol);
    if (!ipc)
        return nullptr;
    std::shared_ptr<ServiceManager> manager(new ServiceManager);
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        std::weak_ptr<ServiceManager> &slot = registry()[device];
        if (std::shared_ptr<ServiceManager> other = slot.lock())
            return other;   // another thread was quicker; ours was never used
        ServiceManagerPrivate &d = *manager->d;
        d.q = manager.get();
        d.self = manager;
        d.ipc = ipc;
        d.device = device;
        d.protocol = ipc->protocol();
        if (d.protocol == Protocol::Hidl)
            d.backend = newHidlServiceManagerBackend(d);
        else
            d.backend = newAidlServiceManagerBackend(d);
        slot = manager;
    }
    manager->d->checkPresence();
    return manager;
}

const std::shared_ptr<Ipc> &ServiceManager::ipc() const { return d->ipc; }
Protocol ServiceManager::protocol() const { return d->protocol; }
const std::string &ServiceManager::device() const { return d->device; }
bool ServiceManager::isPresent() const { return d->present; }

std::shared_ptr<RemoteObject> ServiceManager::getServiceSync(const std::string &name, Status *status)
{
    Status ignored;
    return d->backend->get(name, status ? status : &ignored);
}

Status ServiceManager::addServiceSync(const std::string &name, const std::shared_ptr<LocalObject> &object)
{
    if (!object || object->ipc() != d->ipc)
        return -EINVAL;
    return d->backend->add(name, object);
}

std::vector<std::string> ServiceManager::listSync(Status *status)
{
    Status ignored;
    return d->backend->list(status ? status : &ignored);
}

unsigned long ServiceManager::addRegistrationHandler(const std::string &name, RegistrationHandler handler)
{
    if (name.empty() || !handler)
        return 0;
    unsigned long id = d->nextId++;
    ServiceManagerPrivate::Watch &watch = d->watches[id];
    watch.name = name;
    watch.handler = std::make_shared<RegistrationHandler>(std::move(handler));
    if (d->present)
        d->backend->arm(id);
    return id;
}

unsigned long ServiceManager::addPresenceHandler(PresenceHandler handler)
{
    if (!handler)
        return 0;
    unsigned long id = d->nextId++;
    d->presenceHandlers[id] = std::make_shared<PresenceHandler>(std::move(handler));
    return id;
}

void ServiceManager::removeHandler(unsigned long id)
{
    auto it = d->watches.find(id);
    if (it != d->watches.end()) {
        d->backend->disarm(id);
        d->watches.erase(it);
    }
    d->presenceHandlers.erase(id);
}

std::shared_ptr<LocalObject> ServiceManager::newLocalObject(const std::string &interface, LocalObject::Handler handler)
{
    return LocalObject::create(d->ipc, interface, std::move(handler));
}

std::shared_ptr<LocalObject> ServiceManager::newLocalObject(std::vector<std::string> interfaces,
                                                            LocalObject::Handler handler)
{
    return LocalObject::create(d->ipc, std::move(interfaces), std::move(handler));
}

// ---------------------------------------------------------------------------

Status ServiceManagerPrivate::call(uint32_t code, const Writer &request, std::unique_ptr<RemoteReply> *reply)
{
    Status status = ipc->transactSync(0, code, request, reply);
    if (status == kStatusDeadObject && present)
        managerDied();
    return status;
}

// Ping handle 0; when it answers, hold it and learn of its death.
void ServiceManagerPrivate::checkPresence()
{
    LocalRequest ping(protocol, protocol == Protocol::Hidl ? kHidlBaseInterface : "");
    std::unique_ptr<RemoteReply> reply;
    Status status = ipc->transactSync(0, RpcProtocol::forProtocol(protocol).pingCode(), ping.writer(), &reply);
    if (status != kStatusOk) {
        BINDER_DEBUG("%s: no service manager yet (%d)", device.c_str(), status);
        schedulePing();
        return;
    }
    manager = ipcPrivate(*ipc).remoteObjectForHandle(0);
    if (!manager) {
        schedulePing();
        return;
    }
    std::weak_ptr<ServiceManager> weak = self;
    managerDeathId = manager->addDeathHandler([weak] {
        if (auto sm = weak.lock())
            serviceManagerPrivate(*sm).managerDied();
    });
    setPresent(true);
}

void ServiceManagerPrivate::managerDied()
{
    if (!present)
        return;
    BINDER_INFO("%s: service manager died", device.c_str());
    if (manager) {
        manager->removeHandler(managerDeathId);
        // A call may have found it dead before the kernel said so.
        if (!manager->isDead())
            ipcPrivate(*ipc).remoteObjectDied(0);
    }
    manager.reset();
    managerDeathId = 0;
    backoffMs = kFirstPingMs;
    setPresent(false);
    schedulePing();
}

void ServiceManagerPrivate::schedulePing()
{
    if (pingTimer.isActive())
        return;
    std::weak_ptr<ServiceManager> weak = self;
    pingTimer.start(ipc->context(), backoffMs, [weak] {
        auto sm = weak.lock();
        if (!sm)
            return false;
        ServiceManagerPrivate &d = serviceManagerPrivate(*sm);
        d.pingTimer.stop();
        d.backoffMs = std::min(d.backoffMs * 2, kMaxPingMs);
        d.checkPresence();
        return false;
    });
}

void ServiceManagerPrivate::setPresent(bool now)
{
    if (present == now)
        return;
    present = now;
    std::shared_ptr<ServiceManager> keep = self.lock();
    if (present) {
        backoffMs = kFirstPingMs;
        // Arming calls the manager; handlers served meanwhile may change
        // the watches.
        std::vector<unsigned long> ids;
        for (auto &[id, watch] : watches)
            ids.push_back(id);
        for (unsigned long id : ids)
            backend->arm(id);
    }
    backend->presenceChanged(present);
    auto handlers = presenceHandlers;
    for (auto &[id, handler] : handlers) {
        if (presenceHandlers.count(id))
            (*handler)(present);
    }
}

void ServiceManagerPrivate::fireRegistration(unsigned long watchId, const std::string &name)
{
    auto it = watches.find(watchId);
    if (it == watches.end())
        return;
    std::shared_ptr<ServiceManager::RegistrationHandler> handler = it->second.handler;
    std::shared_ptr<ServiceManager> keep = self.lock();
    (*handler)(name);
}

Status ServiceManager::tryUnregisterSync(const std::string &fqName, const std::string &instance,
                                         const std::shared_ptr<LocalObject> &object)
{
    if (d->protocol != Protocol::Hidl || !object)
        return kStatusFailed;
    LocalRequest request(Protocol::Hidl, "android.hidl.manager@1.2::IServiceManager");
    request.writer().appendHidlString(fqName);
    request.writer().appendHidlString(instance);
    request.writer().appendLocalObject(object);
    std::unique_ptr<RemoteReply> reply;
    Status status = d->call(14, request.writer(), &reply);
    if (status != kStatusOk)
        return status;
    Reader r = reply->reader();
    int32_t hidlStatus;
    int8_t ok = 0;
    if (!r.readInt32(&hidlStatus) || hidlStatus != 0 || !r.readInt8(&ok))
        return kStatusFailed;
    return ok ? kStatusOk : kStatusFailed;
}

} // namespace ferry::binder
