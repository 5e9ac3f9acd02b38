#pragma once

namespace ferry::binder {

class Reader;
class Writer;

// Copies a received parcel into a writer for another device: bytes and
// buffer objects as they are, fds duplicated; binder objects cannot cross
// devices and become null binders. False for parcels it cannot relay.
bool copyParcel(const Reader &from, Writer *to);

} // namespace ferry::binder
