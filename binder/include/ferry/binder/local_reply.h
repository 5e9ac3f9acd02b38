#pragma once

#include <ferry/binder/writer.h>

namespace ferry::binder {

// The reply a handler writes for a two-way request.
class LocalReply {
public:
    Writer &writer() { return m_writer; }
    const Writer &writer() const { return m_writer; }

private:
    Writer m_writer;
};

} // namespace ferry::binder
