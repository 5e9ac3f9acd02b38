#include <ferry/binder/pending_call.h>

#include <ferry/binder/remote_reply.h>

namespace ferry::binder {

PendingCall::PendingCall(Handler handler) : m_handler(std::move(handler))
{
}

void PendingCall::cancel()
{
    m_cancelled = true;
    m_handler = nullptr;   // what it captured goes now
}

void PendingCall::deliver(Status status, StatusSource source, std::unique_ptr<RemoteReply> reply)
{
    if (m_finished.exchange(true))
        return;
    Handler handler = std::move(m_handler);
    if (!m_cancelled && handler)
        handler(status, source, std::move(reply));
}

} // namespace ferry::binder
