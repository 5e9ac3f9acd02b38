#pragma once

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
} // namespace ferry::binder

// Replies of the Wi-Fi vendor HAL and the supplicant: the transport status,
// then a WifiStatus or SupplicantStatus (one shape, code 0 is success),
// then the method's results.
namespace HalStatusReply {

constexpr uint32_t kSuccess = 0;

// The status alone; a missing reply parcel (one-way call) is fine.
ferry::binder::Status status(ferry::binder::LocalReply *reply, uint32_t code);
ferry::binder::Status object(ferry::binder::LocalReply *reply, const std::shared_ptr<ferry::binder::LocalObject> &object);
// A method that is not expected to be called: logged, answered with code.
ferry::binder::Status unexpected(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply, uint32_t failure);
// A code the interface does not have: logged and refused without a reply.
ferry::binder::Status unknown(uint32_t code);

} // namespace HalStatusReply
