// The AIDL service manager ("android.os.IServiceManager") of SDK 27 to 29.
// It has no notifications: each watched name is polled with checkService,
// one call per watch however many names the manager holds.
#include <ferry/binder/aidl_status.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

#include "service_manager_p.h"

#include <utility>
#include <vector>

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

    Status check(const std::string &name, std::unique_ptr<RemoteReply> *reply)
    {
        LocalRequest request(d.protocol, kInterface);
        request.writer().appendString16(name);
        return d.call(kCheckService, request.writer(), reply);
    }

    std::shared_ptr<RemoteObject> get(const std::string &name, Status *status) override
    {
        std::unique_ptr<RemoteReply> reply;
        *status = check(name, &reply);
        if (*status != kStatusOk || !reply)
            return nullptr;
        // The C service managers answer with just the object, or int32 0.
        Reader r = reply->reader();
        std::shared_ptr<RemoteObject> object;
        if (r.bytesRemaining() < 24 || !r.readObject(&object))
            return nullptr;
        return object;
    }

    // The object registered as |name| (null when none). The manager may
    // still list a service that died: it forgets it only once it has read
    // its own death notification, which can come after ours.
    Status registered(const std::string &name, std::shared_ptr<RemoteObject> *object)
    {
        Status status = kStatusOk;
        *object = get(name, &status);
        if (*object && (*object)->isDead())
            object->reset();
        return status;
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
        Reader r = reply->reader();
        AidlStatus answer;
        if (!r.atEnd() && (!answer.readFrom(r, d.protocol) || !answer.isOk()))
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
        std::string name = it->second.name;
        std::shared_ptr<RemoteObject> live;
        registered(name, &live);
        // Handlers served during the call may have removed the watch.
        it = d.watches.find(id);
        if (it == d.watches.end())
            return;
        it->second.seen = std::move(live);
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
                watch.seen.reset();
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
        // Calls serve incoming requests meanwhile, and those may add or
        // remove watches: work from a copy and look each one up again.
        std::vector<std::pair<unsigned long, std::string>> watched;
        for (auto &[id, watch] : d.watches)
            watched.emplace_back(id, watch.name);
        std::vector<std::pair<unsigned long, std::string>> appeared;
        for (auto &[id, name] : watched) {
            std::shared_ptr<RemoteObject> live;
            if (registered(name, &live) != kStatusOk || !d.present)
                return;
            auto it = d.watches.find(id);
            if (it == d.watches.end())
                continue;
            // A new object under the name is a new registration even when
            // the name never looked absent to a poll: a service that died
            // and came back in between, or a watch armed while the manager
            // still listed the dead one.
            if (live && live != it->second.seen)
                appeared.emplace_back(id, name);
            it->second.seen = std::move(live);
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
