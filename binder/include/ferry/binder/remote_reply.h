#pragma once

#include <ferry/binder/reader.h>

#include <memory>

namespace ferry::binder {

// The reply to a two-way call. The received buffer is given back to the
// kernel when the reply and every reader over it are gone.
class RemoteReply {
public:
    explicit RemoteReply(std::shared_ptr<const ParcelData> parcel);
    ~RemoteReply();

    Reader reader() const;   // a fresh reader at the start of the reply

private:
    std::shared_ptr<const ParcelData> m_parcel;
};

} // namespace ferry::binder
