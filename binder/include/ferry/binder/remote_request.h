#pragma once

#include <ferry/binder/reader.h>

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace ferry::binder {

class BlockedRequest;
class IncomingTransaction;

// A request that arrived for one of this process's local objects.
class RemoteRequest {
public:
    ~RemoteRequest();

    const std::string &interface() const { return m_interface; }  // empty if the header had none
    Reader reader() const;            // a fresh reader positioned after the header
    uint32_t code() const { return m_code; }
    uint32_t flags() const { return m_flags; }
    bool isOneway() const;
    pid_t senderPid() const { return m_senderPid; }
    uid_t senderEuid() const { return m_senderEuid; }

    // Keep the request open beyond the handler: the reply is sent when
    // the returned object is completed (or destroyed: kStatusFailed). Null
    // when the request cannot wait (it is served inline while this thread
    // waits for an outgoing call) or was already blocked.
    std::shared_ptr<BlockedRequest> block() const;

    RemoteRequest(const RemoteRequest &) = delete;
    RemoteRequest &operator=(const RemoteRequest &) = delete;

private:
    // Made from what the driver returned, and tied to its transaction
    // while the handler runs.
    friend class IpcPrivate;
    RemoteRequest(std::shared_ptr<const ParcelData> parcel, uint32_t code, uint32_t flags,
                  pid_t senderPid, uid_t senderEuid, std::string interface, size_t headerSize);
    friend const std::shared_ptr<const ParcelData> &requestParcel(const RemoteRequest &request);
    void setTransaction(IncomingTransaction *transaction) { m_transaction = transaction; }
    std::shared_ptr<const ParcelData> m_parcel;
    uint32_t m_code;
    uint32_t m_flags;
    pid_t m_senderPid;
    uid_t m_senderEuid;
    std::string m_interface;
    size_t m_headerSize;
    IncomingTransaction *m_transaction = nullptr;
};

} // namespace ferry::binder
