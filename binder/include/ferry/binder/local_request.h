#pragma once

#include <ferry/binder/protocol.h>
#include <ferry/binder/writer.h>

#include <string>

namespace ferry::binder {

// An outgoing request; the protocol's header naming the interface is
// already written when it is made (an empty interface writes no header).
class LocalRequest {
public:
    LocalRequest(Protocol protocol, const std::string &interface);
    LocalRequest(LocalRequest &&) noexcept = default;
    LocalRequest &operator=(LocalRequest &&) noexcept = default;

    Writer &writer() { return m_writer; }
    const Writer &writer() const { return m_writer; }

private:
    Writer m_writer;
};

// Writes the request header of |protocol| for |interface|.
void writeRequestHeader(Writer &writer, Protocol protocol, const std::string &interface);

} // namespace ferry::binder
