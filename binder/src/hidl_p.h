#pragma once

#include <cstdint>

namespace ferry::binder {

// hidl_string and hidl_vec as laid out in memory and on the wire.
struct HidlStringVecStruct {
    uint64_t pointer;
    uint32_t size;     // characters without the NUL, or element count
    uint8_t ownsBuffer;
    uint8_t pad[3];
};
static_assert(sizeof(HidlStringVecStruct) == 16, "hidl_string/hidl_vec are 16 bytes");

} // namespace ferry::binder
