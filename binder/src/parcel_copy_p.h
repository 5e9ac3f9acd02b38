#pragma once

#include <functional>

namespace ferry::binder {

class Reader;
class Writer;

// Writes the binder object found where |at| stands (listed in the parcel's
// offsets) into |to|; false refuses the whole parcel.
using ObjectCopier = std::function<bool(Reader at, Writer *to)>;

// Copies a received parcel into a writer for another device: bytes and
// buffer objects as they are, fds and the fds of fd arrays duplicated.
// Binder objects cannot cross devices: |objects| decides what stands for
// each; without it they become null binders. False for parcels it cannot
// relay.
bool copyParcel(const Reader &from, Writer *to, const ObjectCopier &objects = nullptr);

} // namespace ferry::binder
