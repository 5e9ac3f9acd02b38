#pragma once

#include <ferry/binder/status.h>

#include <atomic>
#include <functional>
#include <memory>

namespace ferry::binder {

class RemoteReply;

// An asynchronous two-way call in flight (Ipc::transactAsync,
// Client::transactAsync). Its handler runs once on the Ipc's main context
// with the reply (kStatusOk) or the failure, unless the call is cancelled
// first. Cancelling cannot take back a request the peer already has: its
// reply is then dropped.
class PendingCall {
public:
    using Handler = std::function<void(Status status, StatusSource source, std::unique_ptr<RemoteReply> reply)>;

    explicit PendingCall(Handler handler);

    void cancel();   // from the main context: the handler will not run
    bool isCancelled() const { return m_cancelled; }
    bool isFinished() const { return m_finished; }   // the handler ran (or was skipped)

    // Runs the handler unless cancelled; on the main context.
    void deliver(Status status, StatusSource source, std::unique_ptr<RemoteReply> reply);

    PendingCall(const PendingCall &) = delete;
    PendingCall &operator=(const PendingCall &) = delete;

private:
    Handler m_handler;
    std::atomic<bool> m_cancelled {false};
    std::atomic<bool> m_finished {false};
};

} // namespace ferry::binder
