#pragma once

#include <ferry/binder/status.h>

#include <atomic>
#include <memory>

namespace ferry::binder {

class IncomingTransaction;
class LocalReply;
class RemoteRequest;

// A request a handler kept open with RemoteRequest::block(). Write the
// reply through reply() (null for one-way requests) and call complete(),
// from the main context or any other thread, also before the handler that
// blocked it returns (the reply goes out once it has). request() stays
// valid as long as this object. Destroying it uncompleted completes it
// with kStatusFailed.
class BlockedRequest {
public:
    explicit BlockedRequest(std::shared_ptr<IncomingTransaction> transaction);
    ~BlockedRequest();

    LocalReply *reply();
    const RemoteRequest &request() const;
    bool isCompleted() const { return m_completed; }
    void complete(Status status);

    BlockedRequest(const BlockedRequest &) = delete;
    BlockedRequest &operator=(const BlockedRequest &) = delete;

private:
    std::shared_ptr<IncomingTransaction> m_transaction;
    std::atomic<bool> m_completed {false};
};

} // namespace ferry::binder
