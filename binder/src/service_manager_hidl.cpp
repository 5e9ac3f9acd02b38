// The HIDL service manager ("android.hidl.manager@1.0::IServiceManager",
// with the 1.1 and 1.2 additions it may have).
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>

#include "service_manager_p.h"

namespace ferry::binder {

namespace {

constexpr const char *kManager10 = "android.hidl.manager@1.0::IServiceManager";
constexpr const char *kManager11 = "android.hidl.manager@1.1::IServiceManager";
constexpr const char *kNotification = "android.hidl.manager@1.0::IServiceNotification";
constexpr uint32_t kGet = 1;
constexpr uint32_t kAdd = 2;
constexpr uint32_t kList = 4;
constexpr uint32_t kRegisterForNotifications = 6;
constexpr uint32_t kUnregisterForNotifications = 9;
constexpr uint32_t kOnRegistration = 1;

void splitName(const std::string &name, std::string *fqName, std::string *instance)
{
    size_t slash = name.find('/');
    if (slash == std::string::npos) {
        *fqName = name;
        *instance = "default";
    } else {
        *fqName = name.substr(0, slash);
        *instance = name.substr(slash + 1);
    }
}

bool readHidlStatus(const std::unique_ptr<RemoteReply> &reply, Reader *r)
{
    *r = reply->reader();
    int32_t status;
    return r->readInt32(&status) && status == 0;
}

class HidlBackend : public ServiceManagerBackend {
public:
    using ServiceManagerBackend::ServiceManagerBackend;

    std::shared_ptr<RemoteObject> get(const std::string &name, Status *status) override
    {
        std::string fqName, instance;
        splitName(name, &fqName, &instance);
        LocalRequest request(Protocol::Hidl, kManager10);
        request.writer().appendHidlString(fqName);
        request.writer().appendHidlString(instance);
        std::unique_ptr<RemoteReply> reply;
        *status = d.call(kGet, request.writer(), &reply);
        if (*status != kStatusOk)
            return nullptr;
        Reader r;
        std::shared_ptr<RemoteObject> object;
        if (!readHidlStatus(reply, &r) || !r.readObject(&object)) {
            *status = kStatusFailed;
            return nullptr;
        }
        return object;
    }

    Status add(const std::string &name, const std::shared_ptr<LocalObject> &object) override
    {
        LocalRequest request(Protocol::Hidl, kManager10);
        request.writer().appendHidlString(name);
        request.writer().appendLocalObject(object);
        std::unique_ptr<RemoteReply> reply;
        Status status = d.call(kAdd, request.writer(), &reply);
        if (status != kStatusOk)
            return status;
        Reader r;
        int8_t ok = 0;
        if (!readHidlStatus(reply, &r) || !r.readInt8(&ok) || !ok)
            return kStatusFailed;
        return kStatusOk;
    }

    std::vector<std::string> list(Status *status) override
    {
        LocalRequest request(Protocol::Hidl, kManager10);
        std::unique_ptr<RemoteReply> reply;
        *status = d.call(kList, request.writer(), &reply);
        std::vector<std::string> names;
        if (*status != kStatusOk)
            return names;
        Reader r;
        if (!readHidlStatus(reply, &r) || !r.readHidlStringVec(&names))
            *status = kStatusFailed;
        return names;
    }

    void arm(unsigned long id) override
    {
        auto it = d.watches.find(id);
        if (it == d.watches.end())
            return;
        ServiceManagerPrivate::Watch &watch = it->second;
        std::string fqName, instance;
        splitName(watch.name, &fqName, &instance);
        if (!watch.callback) {
            std::weak_ptr<ServiceManager> weak = d.self;
            // The manager reports "fqName/instance"; a bare fqName watches
            // the "default" instance.
            std::string wanted = fqName + "/" + instance;
            watch.callback = LocalObject::create(
                d.ipc, kNotification,
                [weak, id, wanted](const RemoteRequest &req, uint32_t code, uint32_t, LocalReply *) -> Status {
                    if (code != kOnRegistration)
                        return kStatusFailed;
                    Reader r = req.reader();
                    std::string fq, inst;
                    if (!r.readHidlString(&fq) || !r.readHidlString(&inst))
                        return kStatusFailed;
                    std::string name = fq + "/" + inst;
                    auto sm = weak.lock();
                    if (sm && name == wanted)
                        serviceManagerPrivate(*sm).fireRegistration(id, name);
                    return kStatusOk;
                });
        }
        LocalRequest request(Protocol::Hidl, kManager10);
        request.writer().appendHidlString(fqName);
        request.writer().appendHidlString(instance);
        request.writer().appendLocalObject(watch.callback);
        // |watch| may be gone once the call returns.
        std::string name = watch.name;
        std::unique_ptr<RemoteReply> reply;
        Status status = d.call(kRegisterForNotifications, request.writer(), &reply);
        Reader r;
        int8_t ok = 0;
        if (status != kStatusOk || !readHidlStatus(reply, &r) || !r.readInt8(&ok) || !ok)
            BINDER_WARN("%s: cannot watch %s (%d)", d.device.c_str(), name.c_str(), status);
    }

    void disarm(unsigned long id) override
    {
        auto it = d.watches.find(id);
        if (it == d.watches.end() || !it->second.callback)
            return;
        std::shared_ptr<LocalObject> callback = std::move(it->second.callback);
        it->second.callback.reset();
        callback->drop();
        if (!d.present)
            return;
        std::string fqName, instance;
        splitName(it->second.name, &fqName, &instance);
        LocalRequest request(Protocol::Hidl, kManager11);
        request.writer().appendHidlString(fqName);
        request.writer().appendHidlString(instance);
        request.writer().appendLocalObject(callback);
        std::unique_ptr<RemoteReply> reply;
        d.call(kUnregisterForNotifications, request.writer(), &reply);   // 1.0 managers lack it
    }

    void presenceChanged(bool) override {}
};

} // namespace

std::unique_ptr<ServiceManagerBackend> newHidlServiceManagerBackend(ServiceManagerPrivate &d)
{
    return std::make_unique<HidlBackend>(d);
}

} // namespace ferry::binder
