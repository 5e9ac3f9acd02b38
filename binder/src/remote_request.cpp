#include <ferry/binder/remote_request.h>

#include <ferry/binder/blocked_request.h>
#include <ferry/binder/protocol.h>

#include "ipc_p.h"
#include "parcel_data_p.h"

namespace ferry::binder {

RemoteRequest::RemoteRequest(std::shared_ptr<const ParcelData> parcel, uint32_t code, uint32_t flags, pid_t senderPid,
                             uid_t senderEuid, std::string interface, size_t headerSize)
    : m_parcel(std::move(parcel)), m_code(code), m_flags(flags), m_senderPid(senderPid), m_senderEuid(senderEuid),
      m_interface(std::move(interface)), m_headerSize(headerSize)
{
}

RemoteRequest::~RemoteRequest() = default;

Reader RemoteRequest::reader() const
{
    return Reader(m_parcel, m_headerSize);
}

bool RemoteRequest::isOneway() const
{
    return m_flags & kFlagOneway;
}

std::shared_ptr<BlockedRequest> RemoteRequest::block() const
{
    if (!m_transaction || m_transaction->servedInline || m_transaction->blocked || m_transaction->done)
        return nullptr;
    m_transaction->blocked = true;
    return std::make_shared<BlockedRequest>(m_transaction->shared_from_this());
}

} // namespace ferry::binder
