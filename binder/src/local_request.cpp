#include <ferry/binder/local_request.h>

#include "rpc_protocol_p.h"

namespace ferry::binder {

void writeRequestHeader(Writer &writer, Protocol protocol, const std::string &interface)
{
    if (!interface.empty())
        RpcProtocol::forProtocol(protocol).writeHeader(writer, interface);
}

LocalRequest::LocalRequest(Protocol protocol, const std::string &interface)
{
    writeRequestHeader(m_writer, protocol, interface);
}

} // namespace ferry::binder
