#pragma once

namespace ferry::binder {

// Result of every binder operation. Negative values are errno codes (or the
// binder status a peer sent back); the small positive values are ours.
using Status = int;
enum : Status {
    kStatusOk = 0,
    kStatusFailed = 1,      // the handler refused the request
    kStatusDeadObject = 2,  // the target object (or its process) is gone
};

// Where a failed call's status comes from: the peer answered with it (its
// handler refused, say), or the call was not delivered or not answered
// (the driver, this library, a dead or frozen target).
enum class StatusSource {
    Peer,
    Delivery,
};

} // namespace ferry::binder
