#include <ferry/binder/remote_reply.h>

#include "parcel_data_p.h"

namespace ferry::binder {

RemoteReply::RemoteReply(std::shared_ptr<const ParcelData> parcel) : m_parcel(std::move(parcel)) {}

RemoteReply::~RemoteReply() = default;

Reader RemoteReply::reader() const
{
    return Reader(m_parcel);
}

} // namespace ferry::binder
