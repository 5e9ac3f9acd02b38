// The AIDL service manager ("android.os.IServiceManager") of SDK 27 to 29.
// It has no notifications: watched names are polled with listServices.
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

#include "service_manager_p.h"

#include <algorithm>
#include <set>

namespace ferry::binder {

namespace {

constexpr const char *kInterface = "android.os.IServiceManager";
constexpr uint32_t kGetService = 1;
constexpr uint32_t kCheckService = 2;
constexpr uint32_t kAddService = 3;
constexpr uint32_t kListServices = 4;
constexpr int32_t kDumpPriorityDefault = 0x08;
constexpr int32_t kDumpPriorityAll = 0x0f;
constexpr unsigned kPollIntervalMs = 2000;
constexpr int32_t kMaxListedServices = 4096;

class AidlBackend : public ServiceManagerBackend {
public:
    using ServiceManagerBackend::ServiceManagerBackend;

    std::shared_ptr<RemoteObject> lookup(uint32_t code, const std::string &name, Status *status)
    {
        LocalRequest request(d.protocol, kInterface);
        request.writer().appendString16(name);
        std::unique_ptr<RemoteReply> reply;
        *status = d.call(code, request.writer(), &reply);
        if (*status != kStatusOk)
            return nullptr;
        // The C service managers answer with just the object, or int32 0.
        Reader r = reply->reader();
        std::shared_ptr<RemoteObject> object;
        if (r.bytesRemaining() < 24 || !r.readObject(&object))
            return nullptr;
        return object;
    }

    std::shared_ptr<RemoteObject> get(const std::string &name, Status *status) override
    {
        return lookup(kCheckService, name, status);
    }

    Status add(const std::string &name, const std::shared_ptr<LocalObject> &object) override
    {
        LocalRequest request(d.protocol, kInterface);
        Writer &w = request.writer();
        w.appendString16(name);
        w.appendLocalObject(object);
        w.appendInt32(0);   // allowIsolated
        if (d.protocol != Protocol::Aidl27)
            w.appendInt32(kDumpPriorityDefault);
        std::unique_ptr<RemoteReply> reply;
        Status status = d.call(kAddService, w, &reply);
        if (status != kStatusOk)
            return status;
        // Some managers answer with an exception word, the C ones with 0.
        int32_t code = 0;
        Reader r = reply->reader();
        if (r.readInt32(&code) && code != 0)
            return kStatusFailed;
        return kStatusOk;
    }

    std::vector<std::string> list(Status *status) override
    {
        std::vector<std::string> names;
        *status = kStatusOk;
        for (int32_t index = 0; index < kMaxListedServices; ++index) {
            LocalRequest request(d.protocol, kInterface);
            request.writer().appendInt32(index);
            if (d.protocol != Protocol::Aidl27)
                request.writer().appendInt32(kDumpPriorityAll);
            std::unique_ptr<RemoteReply> reply;
            Status s = d.call(kListServices, request.writer(), &reply);
            if (s != kStatusOk) {
                // Past the end the manager answers with an error status.
                if (s == kStatusDeadObject) {
                    *status = s;
                    names.clear();
                }
                break;
            }
            Reader r = reply->reader();
            std::string name;
            bool isNull = false;
            if (!r.readString16(&name, &isNull) || isNull)
                break;
            names.push_back(name);
        }
        return names;
    }

    void arm(unsigned long id) override
    {
        auto it = d.watches.find(id);
        if (it == d.watches.end())
            return;
        Status status;
        it->second.known = lookup(kCheckService, it->second.name, &status) != nullptr;
        startPolling();
    }

    void disarm(unsigned long) override
    {
        if (d.watches.size() <= 1)
            m_pollTimer.stop();
    }

    void presenceChanged(bool present) override
    {
        if (!present) {
            m_pollTimer.stop();
            // Everything registers anew with the next manager.
            for (auto &[id, watch] : d.watches)
                watch.known = false;
        } else if (!d.watches.empty()) {
            startPolling();
        }
    }

private:
    void startPolling()
    {
        if (m_pollTimer.isActive())
            return;
        m_pollTimer.start(d.ipc->context(), kPollIntervalMs, [this] {
            poll();
            return true;
        });
    }

    void poll()
    {
        if (!d.present || d.watches.empty())
            return;
        Status status;
        std::vector<std::string> listed = list(&status);
        if (status != kStatusOk)
            return;
        std::set<std::string> names(listed.begin(), listed.end());
        std::vector<std::pair<unsigned long, std::string>> appeared;
        for (auto &[id, watch] : d.watches) {
            bool present = names.count(watch.name) != 0;
            if (present && !watch.known)
                appeared.emplace_back(id, watch.name);
            watch.known = present;
        }
        for (auto &[id, name] : appeared)
            d.fireRegistration(id, name);
    }

    MainTimer m_pollTimer;
};

} // namespace

std::unique_ptr<ServiceManagerBackend> newAidlServiceManagerBackend(ServiceManagerPrivate &d)
{
    return std::make_unique<AidlBackend>(d);
}

} // namespace ferry::binder
