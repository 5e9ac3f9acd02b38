#include <ferry/binder/client.h>

#include <ferry/binder/ipc.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

#include <cerrno>

namespace ferry::binder {

Client::Client(std::shared_ptr<RemoteObject> remote, std::string interface) : m_remote(std::move(remote))
{
    m_ranges.push_back(Range {UINT32_MAX, std::move(interface)});
}

Client::Client(std::shared_ptr<RemoteObject> remote, std::vector<Range> ranges)
    : m_remote(std::move(remote)), m_ranges(std::move(ranges))
{
    if (m_ranges.empty())
        m_ranges.push_back(Range {UINT32_MAX, std::string()});
}

std::shared_ptr<Client> Client::create(std::shared_ptr<RemoteObject> remote, std::string interface)
{
    if (!remote)
        return nullptr;
    return std::make_shared<Client>(std::move(remote), std::move(interface));
}

const std::string &Client::interface(uint32_t code) const
{
    for (const Range &range : m_ranges) {
        if (code <= range.lastCode)
            return range.interface;
    }
    return m_ranges.back().interface;
}

LocalRequest Client::newRequest() const
{
    return LocalRequest(m_remote ? m_remote->ipc()->protocol() : Protocol::Aidl28, m_ranges.front().interface);
}

LocalRequest Client::newRequest(uint32_t code) const
{
    return LocalRequest(m_remote ? m_remote->ipc()->protocol() : Protocol::Aidl28, interface(code));
}

Status Client::transactSync(uint32_t code, LocalRequest &request, std::unique_ptr<RemoteReply> *reply,
                            Status *status, StatusSource *source) const
{
    Status result;
    std::unique_ptr<RemoteReply> received;
    if (source)
        *source = StatusSource::Delivery;
    if (!m_remote)
        result = -EINVAL;
    else if (m_remote->isDead())
        result = kStatusDeadObject;
    else
        result = m_remote->ipc()->transactSync(m_remote->handle(), code, request.writer(), &received, source);
    if (reply)
        *reply = result == kStatusOk ? std::move(received) : nullptr;
    if (status)
        *status = result;
    return result;
}

Status Client::transactOneway(uint32_t code, LocalRequest &request) const
{
    if (!m_remote)
        return -EINVAL;
    if (m_remote->isDead())
        return kStatusDeadObject;
    return m_remote->ipc()->transactOneway(m_remote->handle(), code, request.writer());
}

std::shared_ptr<PendingCall> Client::transactAsync(uint32_t code, LocalRequest request,
                                                  PendingCall::Handler handler) const
{
    if (!m_remote)
        return nullptr;
    // A dead target answers on the main context too, like any other failure.
    return m_remote->ipc()->transactAsync(m_remote->handle(), code, std::move(request.writer()), std::move(handler));
}

} // namespace ferry::binder
