// AIDL request header of SDK 27 and 28: strict-mode policy, interface.
#include "rpc_protocol_p.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

namespace ferry::binder {

namespace {

class Aidl27Protocol : public RpcProtocol {
public:
    void writeHeader(Writer &writer, const std::string &interface) const override
    {
        writer.appendInt32(kAidlStrictModePolicy);
        writer.appendString16(interface);
    }
    bool readHeader(Reader &reader, std::string *interface) const override
    {
        Reader r = reader;
        int32_t policy;
        bool isNull;
        if (!r.readInt32(&policy) || !r.readString16(interface, &isNull))
            return false;
        reader = r;
        return true;
    }
    uint32_t pingCode() const override { return kPingTransaction; }
};

} // namespace

const RpcProtocol &aidl27Protocol()
{
    static const Aidl27Protocol protocol;
    return protocol;
}

} // namespace ferry::binder
