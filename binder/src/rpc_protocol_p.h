#pragma once

#include <ferry/binder/protocol.h>

#include <string>

namespace ferry::binder {

class Reader;
class Writer;

// One request-header convention. One implementation per file.
class RpcProtocol {
public:
    virtual ~RpcProtocol() = default;
    virtual void writeHeader(Writer &writer, const std::string &interface) const = 0;
    // Reads the header; on success the reader is positioned after it.
    virtual bool readHeader(Reader &reader, std::string *interface) const = 0;
    virtual uint32_t pingCode() const = 0;

    static const RpcProtocol &forProtocol(Protocol protocol);
};

const RpcProtocol &aidl27Protocol();   // also SDK 28: same header
const RpcProtocol &aidl29Protocol();
const RpcProtocol &hidlProtocol();

} // namespace ferry::binder
