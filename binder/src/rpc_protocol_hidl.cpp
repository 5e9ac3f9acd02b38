// HIDL request header: the interface as a C string.
#include "rpc_protocol_p.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

namespace ferry::binder {

namespace {

class HidlProtocol : public RpcProtocol {
public:
    void writeHeader(Writer &writer, const std::string &interface) const override
    {
        writer.appendCString(interface);
    }
    bool readHeader(Reader &reader, std::string *interface) const override
    {
        return reader.readCString(interface);
    }
    uint32_t pingCode() const override { return hidl_base::kPing; }
};

} // namespace

const RpcProtocol &hidlProtocol()
{
    static const HidlProtocol protocol;
    return protocol;
}

} // namespace ferry::binder
