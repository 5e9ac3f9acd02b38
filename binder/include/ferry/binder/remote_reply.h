#pragma once

#include <ferry/binder/reader.h>

#include <memory>

namespace ferry::binder {

// The reply to a two-way call. The received buffer is given back to the
// kernel when the reply and every reader over it are gone.
class RemoteReply {
public:
    ~RemoteReply();

    Reader reader() const;   // a fresh reader at the start of the reply

private:
    friend class IpcPrivate;   // makes it from what the driver returned
    explicit RemoteReply(std::shared_ptr<const ParcelData> parcel);
    std::shared_ptr<const ParcelData> m_parcel;
};

} // namespace ferry::binder
