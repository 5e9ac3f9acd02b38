#include "novumbindertransaction.h"

#include "logging.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_reply.h>

NovumBinderTransaction::NovumBinderTransaction(const std::shared_ptr<ferry::binder::Client> &client,
                                               int32_t code, bool oneway, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_code(code)
    , m_oneway(oneway)
{
    if (m_client) {
        m_request = std::make_unique<ferry::binder::LocalRequest>(m_client->newRequest(uint32_t(code)));
        m_writer = NovumParcel(m_request.get());
    }
}

NovumBinderTransaction::~NovumBinderTransaction()
{
    qCDebug(lcBinder) << "Destroying transaction" << m_code;
    m_reader = NovumParcel();
    m_writer = NovumParcel();
    m_reply.reset();
    m_request.reset();
}

int NovumBinderTransaction::execute()
{
    // At most once: a repeated call would send the same request again (and
    // a two-way one would replace the reply the caller may still read).
    if (!m_client || !m_request || m_executed)
        return -1;
    m_executed = true;

    if (m_oneway)
        return m_client->transactOneway(uint32_t(m_code), *m_request);

    std::unique_ptr<ferry::binder::RemoteReply> reply;
    const ferry::binder::Status status = m_client->transactSync(uint32_t(m_code), *m_request, &reply);
    if (reply) {
        m_reply = std::move(reply);
        m_reader = NovumParcel(m_reply.get());
    } else {
        qCDebug(lcBinder) << "No reply available";
    }
    return status;
}

void NovumBinderTransaction::onConnectionChanged(bool connected)
{
    if (!connected)
        m_client.reset();
}
