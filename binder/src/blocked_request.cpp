#include <ferry/binder/blocked_request.h>

#include "ipc_p.h"

namespace ferry::binder {

BlockedRequest::BlockedRequest(std::shared_ptr<IncomingTransaction> transaction)
    : m_transaction(std::move(transaction))
{
}

BlockedRequest::~BlockedRequest()
{
    if (m_transaction)
        complete(kStatusFailed);
}

LocalReply *BlockedRequest::reply()
{
    return m_transaction ? m_transaction->reply.get() : nullptr;
}

const RemoteRequest &BlockedRequest::request() const
{
    return *m_transaction->request;
}

void BlockedRequest::complete(Status status)
{
    if (!m_transaction)
        return;
    std::shared_ptr<IncomingTransaction> transaction = std::move(m_transaction);
    transaction->finish(status);
}

} // namespace ferry::binder
