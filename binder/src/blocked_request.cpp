#include <ferry/binder/blocked_request.h>

#include "ipc_p.h"

namespace ferry::binder {

BlockedRequest::BlockedRequest(std::shared_ptr<IncomingTransaction> transaction)
    : m_transaction(std::move(transaction))
{
}

BlockedRequest::~BlockedRequest()
{
    complete(kStatusFailed);
}

LocalReply *BlockedRequest::reply()
{
    return m_completed ? nullptr : m_transaction->reply.get();
}

const RemoteRequest &BlockedRequest::request() const
{
    return *m_transaction->request;
}

void BlockedRequest::complete(Status status)
{
    // The transaction (and its request) stays with us: the handler that
    // blocked it may still be running and reading the request.
    if (m_completed.exchange(true))
        return;
    m_transaction->finish(status);
}

} // namespace ferry::binder
