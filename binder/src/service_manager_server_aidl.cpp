// Serving "android.os.IServiceManager" the way Android's C service manager
// does: no exception words, int32 0 for unknown names.
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_request.h>

#include "service_manager_server_p.h"

#include <cerrno>
#include <iterator>

namespace ferry::binder {

namespace {
constexpr uint32_t kGetService = 1;
constexpr uint32_t kCheckService = 2;
constexpr uint32_t kAddService = 3;
constexpr uint32_t kListServices = 4;
constexpr size_t kMaxNameLength = 127;
} // namespace

Status ServiceManagerServerPrivate::handleAidl(const RemoteRequest &request, LocalReply *reply)
{
    if (!reply)
        return kStatusOk;
    Reader r = request.reader();
    Writer &w = reply->writer();
    switch (request.code()) {
    case kGetService:
    case kCheckService: {
        std::string name;
        bool isNull;
        if (!r.readString16(&name, &isNull) || isNull)
            return -EINVAL;
        auto it = services.find(name);
        if (it == services.end())
            w.appendInt32(0);
        else
            w.appendRemoteObject(it->second.object);
        return kStatusOk;
    }
    case kAddService: {
        std::string name;
        bool isNull;
        std::shared_ptr<RemoteObject> object;
        int32_t allowIsolated;
        if (!r.readString16(&name, &isNull) || isNull || name.empty() || name.size() > kMaxNameLength
            || !r.readObject(&object) || !object || !r.readInt32(&allowIsolated))
            return -EINVAL;
        addService(name, object);
        w.appendInt32(0);
        return kStatusOk;
    }
    case kListServices: {
        int32_t index;
        if (!r.readInt32(&index) || index < 0 || size_t(index) >= services.size())
            return -1;
        auto it = services.begin();
        std::advance(it, index);
        w.appendString16(it->first);
        return kStatusOk;
    }
    default:
        return -EBADMSG;
    }
}

} // namespace ferry::binder
