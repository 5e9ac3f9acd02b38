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

} // namespace ferry::binder
