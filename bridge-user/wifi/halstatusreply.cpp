#include "halstatusreply.h"

#include "logging.h"
#include "wifirecords.h"

#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>

using namespace ferry::binder;

namespace HalStatusReply {

Status status(LocalReply *reply, uint32_t code)
{
    if (reply) {
        reply->writer().appendInt32(kStatusOk);
        WifiRecords::appendStatus(reply->writer(), code);
    }
    return kStatusOk;
}

Status object(LocalReply *reply, const std::shared_ptr<LocalObject> &object)
{
    status(reply, kSuccess);
    if (reply)
        reply->writer().appendLocalObject(object);
    return kStatusOk;
}

Status unexpected(const RemoteRequest &request, uint32_t code, LocalReply *reply, uint32_t failure)
{
    qCCritical(lcWifi) << "Unexpected transaction code:" << request.interface().c_str() << code;
    return status(reply, failure);
}

Status unknown(uint32_t code)
{
    qCCritical(lcWifi) << "Unknown code (" << code << ")";
    return kStatusFailed;
}

} // namespace HalStatusReply
