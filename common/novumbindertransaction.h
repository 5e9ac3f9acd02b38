#pragma once

#include "novumparcel.h"

#include <QObject>

#include <memory>

namespace ferry::binder {
class Client;
class LocalRequest;
class RemoteReply;
}

// One outgoing call on a binder client: write the arguments into writer(),
// execute() once, then read the reply from reader().
class NovumBinderTransaction : public QObject
{
    Q_OBJECT

public:
    NovumBinderTransaction(const std::shared_ptr<ferry::binder::Client> &client, int32_t code,
                           bool oneway, QObject *parent = nullptr);
    ~NovumBinderTransaction() override;

    // The request; arguments go after the interface header.
    NovumParcel &writer() { return m_writer; }
    // The reply of a successful two-way execute(); empty before.
    NovumParcel &reader() { return m_reader; }

    int32_t code() const { return m_code; }
    bool isOneway() const { return m_oneway; }

    // Sends the request and waits for the reply (two-way). Returns the
    // binder status, 0 on success, or -1 when there is no client any more or
    // the transaction was executed before.
    int execute();

public slots:
    // A lost connection leaves nothing to send on.
    void onConnectionChanged(bool connected);

private:
    std::shared_ptr<ferry::binder::Client> m_client;
    int32_t m_code;
    bool m_oneway;
    bool m_executed = false;
    std::unique_ptr<ferry::binder::LocalRequest> m_request;
    std::unique_ptr<ferry::binder::RemoteReply> m_reply;
    NovumParcel m_writer;
    NovumParcel m_reader;
};
