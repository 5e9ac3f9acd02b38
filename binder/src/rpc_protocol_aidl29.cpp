// AIDL request header of SDK 29: policy, work source, interface.
#include "rpc_protocol_p.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

namespace ferry::binder {

namespace {

class Aidl29Protocol : public RpcProtocol {
public:
    void writeHeader(Writer &writer, const std::string &interface) const override
    {
        writer.appendInt32(kAidlStrictModePolicy);
        writer.appendInt32(-1);   // no work source
        writer.appendString16(interface);
    }
    bool readHeader(Reader &reader, std::string *interface) const override
    {
        Reader r = reader;
        int32_t policy, workSource;
        bool isNull;
        if (!r.readInt32(&policy) || !r.readInt32(&workSource) || !r.readString16(interface, &isNull))
            return false;
        reader = r;
        return true;
    }
    uint32_t pingCode() const override { return kPingTransaction; }
};

} // namespace

const RpcProtocol &aidl29Protocol()
{
    static const Aidl29Protocol protocol;
    return protocol;
}

} // namespace ferry::binder
