#pragma once

#include <ferry/binder/local_request.h>
#include <ferry/binder/pending_call.h>
#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class RemoteObject;
class RemoteReply;

// Calls on a remote object under one interface descriptor. A HIDL client
// may name one descriptor per range of codes: the request header carries
// the interface that declares the method (the first range whose lastCode
// is >= the code).
class Client {
public:
    struct Range {
        uint32_t lastCode;
        std::string interface;
    };

    Client(std::shared_ptr<RemoteObject> remote, std::string interface);
    Client(std::shared_ptr<RemoteObject> remote, std::vector<Range> ranges);
    static std::shared_ptr<Client> create(std::shared_ptr<RemoteObject> remote, std::string interface);

    const std::shared_ptr<RemoteObject> &remote() const { return m_remote; }
    const std::string &interface(uint32_t code = 0) const;

    LocalRequest newRequest() const;               // header of the first interface
    LocalRequest newRequest(uint32_t code) const;  // header of the interface declaring |code|

    // Synchronous two-way call: returns (and stores in *status if given)
    // the status; *reply is set on kStatusOk. BR_DEAD_REPLY gives
    // kStatusDeadObject and runs the remote object's death handlers.
    // *source tells a peer's refusal from a failed delivery.
    Status transactSync(uint32_t code, LocalRequest &request, std::unique_ptr<RemoteReply> *reply,
                        Status *status = nullptr, StatusSource *source = nullptr) const;
    Status transactOneway(uint32_t code, LocalRequest &request) const;
    // Without blocking: |handler| gets the outcome on the main context
    // (see Ipc::transactAsync). Null only without a remote object.
    std::shared_ptr<PendingCall> transactAsync(uint32_t code, LocalRequest request,
                                               PendingCall::Handler handler) const;

private:
    std::shared_ptr<RemoteObject> m_remote;
    std::vector<Range> m_ranges;
};

} // namespace ferry::binder
