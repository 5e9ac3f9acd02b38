// Serving "android.hidl.manager@1.x::IServiceManager": names are
// "fqName/instance" for every interface an added object says it has.
#include <ferry/binder/client.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>

#include "service_manager_server_p.h"

#include <cerrno>
#include <set>

namespace ferry::binder {

namespace {
constexpr uint32_t kGet = 1;
constexpr uint32_t kAdd = 2;
constexpr uint32_t kGetTransport = 3;
constexpr uint32_t kList = 4;
constexpr uint32_t kListByInterface = 5;
constexpr uint32_t kRegisterForNotifications = 6;
constexpr uint32_t kRegisterPassthroughClient = 8;
constexpr uint32_t kUnregisterForNotifications = 9;
constexpr uint32_t kTryUnregister = 14;
constexpr const char *kNotification = "android.hidl.manager@1.0::IServiceNotification";
constexpr uint32_t kOnRegistration = 1;
constexpr size_t kMaxChain = 64;

// Instance names may hold slashes (the camera provider's is "legacy/0");
// the fqName, which comes first, never does, so "fqName/instance" stays
// unambiguous.
bool validInstance(const std::string &name)
{
    return !name.empty() && name.size() < 256;
}

std::vector<std::string> interfaceChainOf(const std::shared_ptr<RemoteObject> &object)
{
    std::vector<std::string> chain;
    Client client(object, kHidlBaseInterface);
    LocalRequest request = client.newRequest();
    std::unique_ptr<RemoteReply> reply;
    Status status = client.transactSync(hidl_base::kInterfaceChain, request, &reply);
    if (status != kStatusOk) {
        BINDER_WARN("interfaceChain of handle %u failed: %d", object->handle(), status);
        return chain;
    }
    Reader r = reply->reader();
    int32_t hidlStatus;
    if (!r.readInt32(&hidlStatus) || hidlStatus != 0 || !r.readHidlStringVec(&chain) || chain.size() > kMaxChain)
        chain.clear();
    return chain;
}

} // namespace

void ServiceManagerServerPrivate::notify(const std::string &fqName, const std::string &instance, bool preexisting,
                                         const std::shared_ptr<RemoteObject> &callback)
{
    Client client(callback, kNotification);
    LocalRequest request = client.newRequest();
    request.writer().appendHidlString(fqName);
    request.writer().appendHidlString(instance);
    request.writer().appendInt8(preexisting ? 1 : 0);
    client.transactOneway(kOnRegistration, request);
}

Status ServiceManagerServerPrivate::handleHidl(const RemoteRequest &request, LocalReply *reply)
{
    if (!reply)
        return kStatusOk;
    Reader r = request.reader();
    Writer &w = reply->writer();
    switch (request.code()) {
    case kGet: {
        std::string fqName, instance;
        if (!r.readHidlString(&fqName) || !r.readHidlString(&instance))
            return -EINVAL;
        auto it = services.find(fqName + "/" + instance);
        w.appendInt32(0);
        w.appendRemoteObject(it == services.end() ? nullptr : it->second.object);
        return kStatusOk;
    }
    case kAdd: {
        std::string instance;
        std::shared_ptr<RemoteObject> object;
        if (!r.readHidlString(&instance) || !r.readObject(&object))
            return -EINVAL;
        bool ok = false;
        if (object && validInstance(instance)) {
            // Ask the object what it is: a call back into the adding process
            // while it waits for this reply.
            std::vector<std::string> chain = interfaceChainOf(object);
            for (const std::string &fqName : chain) {
                if (fqName.empty() || fqName.find('/') != std::string::npos)
                    continue;
                addService(fqName + "/" + instance, object);
                ok = true;
            }
            if (ok) {
                // Sending serves requests that arrive meanwhile, and those
                // may change the listeners: pick the callbacks first.
                std::vector<std::pair<std::string, std::shared_ptr<RemoteObject>>> targets;
                for (const std::string &fqName : chain) {
                    for (auto &listener : listeners) {
                        if (listener->fqName == fqName
                            && (listener->instance.empty() || listener->instance == instance))
                            targets.emplace_back(fqName, listener->callback);
                    }
                }
                for (auto &[fqName, callback] : targets)
                    notify(fqName, instance, false, callback);
            } else {
                BINDER_WARN("%s: no interface chain from the object added as %s", ipc->device().c_str(),
                            instance.c_str());
            }
        }
        w.appendInt32(0);
        w.appendInt8(ok ? 1 : 0);
        return kStatusOk;
    }
    case kGetTransport:
        w.appendInt32(0);
        w.appendInt8(1);   // hwbinder
        return kStatusOk;
    case kList: {
        std::vector<std::string> names;
        for (auto &[name, service] : services)
            names.push_back(name);
        w.appendInt32(0);
        w.appendHidlStringVec(names);
        return kStatusOk;
    }
    case kListByInterface: {
        std::string fqName;
        if (!r.readHidlString(&fqName))
            return -EINVAL;
        std::vector<std::string> instances;
        std::string prefix = fqName + "/";
        for (auto &[name, service] : services) {
            if (name.compare(0, prefix.size(), prefix) == 0)
                instances.push_back(name.substr(prefix.size()));
        }
        w.appendInt32(0);
        w.appendHidlStringVec(instances);
        return kStatusOk;
    }
    case kRegisterForNotifications: {
        std::string fqName, instance;
        std::shared_ptr<RemoteObject> callback;
        if (!r.readHidlString(&fqName) || !r.readHidlString(&instance) || !r.readObject(&callback) || !callback)
            return -EINVAL;
        auto listener = std::make_unique<Listener>();
        listener->fqName = fqName;
        listener->instance = instance;
        listener->callback = callback;
        Listener *raw = listener.get();
        std::weak_ptr<bool> weakAlive = alive;
        listener->deathId = callback->addDeathHandler([this, weakAlive, raw] {
            auto isAlive = weakAlive.lock();
            if (!isAlive || !*isAlive)
                return;
            for (auto it = listeners.begin(); it != listeners.end(); ++it) {
                if (it->get() == raw) {
                    listeners.erase(it);
                    break;
                }
            }
        });
        listeners.push_back(std::move(listener));
        // As above: the services may change while notifying.
        std::string prefix = fqName + "/";
        std::vector<std::string> present;
        for (auto &[name, service] : services) {
            if (name.compare(0, prefix.size(), prefix) != 0)
                continue;
            std::string existing = name.substr(prefix.size());
            if (instance.empty() || existing == instance)
                present.push_back(std::move(existing));
        }
        for (const std::string &existing : present)
            notify(fqName, existing, true, callback);
        w.appendInt32(0);
        w.appendInt8(1);
        return kStatusOk;
    }
    case kRegisterPassthroughClient:
        w.appendInt32(0);
        return kStatusOk;
    case kUnregisterForNotifications: {
        std::string fqName, instance;
        std::shared_ptr<RemoteObject> callback;
        if (!r.readHidlString(&fqName) || !r.readHidlString(&instance) || !r.readObject(&callback))
            return -EINVAL;
        bool removed = false;
        for (auto it = listeners.begin(); it != listeners.end();) {
            if ((*it)->callback == callback && (*it)->fqName == fqName && (*it)->instance == instance) {
                (*it)->callback->removeHandler((*it)->deathId);
                it = listeners.erase(it);
                removed = true;
            } else {
                ++it;
            }
        }
        w.appendInt32(0);
        w.appendInt8(removed ? 1 : 0);
        return kStatusOk;
    }
    case kTryUnregister: {
        std::string fqName, instance;
        std::shared_ptr<RemoteObject> object;
        if (!r.readHidlString(&fqName) || !r.readHidlString(&instance) || !r.readObject(&object))
            return -EINVAL;
        auto it = services.find(fqName + "/" + instance);
        bool removed = false;
        if (it != services.end() && it->second.object == object) {
            // The object goes under every name of its chain for this instance.
            std::string suffix = "/" + instance;
            for (auto s = services.begin(); s != services.end();) {
                if (s->second.object == object && s->first.size() > suffix.size()
                    && s->first.compare(s->first.size() - suffix.size(), suffix.size(), suffix) == 0) {
                    s->second.object->removeHandler(s->second.deathId);
                    s = services.erase(s);
                } else {
                    ++s;
                }
            }
            removed = true;
        }
        w.appendInt32(0);
        w.appendInt8(removed ? 1 : 0);
        return kStatusOk;
    }
    default:
        return -EBADMSG;
    }
}

} // namespace ferry::binder
