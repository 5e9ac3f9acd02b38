#pragma once

// What the driver does to a parcel on its way, for tests without one:
// buffer objects are copied into one region of the receiver, their
// pointers and their parents' embedded pointers rewritten to the copies.

#include <ferry/binder/writer.h>

#include "parcel_data_p.h"

#include <linux/android/binder.h>

#include <cstring>
#include <memory>
#include <vector>

namespace ferry::binder::test {

struct DeliveredParcel {
    std::vector<uint8_t> region;   // the receiver's copy of all buffers
    std::shared_ptr<ParcelData> parcel;
};

inline std::unique_ptr<DeliveredParcel> deliver(const Writer &writer)
{
    auto out = std::make_unique<DeliveredParcel>();
    std::vector<uint8_t> data = writer.data();
    out->region.resize(writer.buffersSize() + 8);
    size_t used = 0;
    std::vector<uint64_t> offsets = writer.objectOffsets();
    for (uint64_t offset : offsets) {
        binder_buffer_object object;
        memcpy(&object, data.data() + offset, sizeof object.hdr);
        if (object.hdr.type != BINDER_TYPE_PTR)
            continue;
        memcpy(&object, data.data() + offset, sizeof object);
        uint8_t *copy = out->region.data() + used;
        if (object.length)
            memcpy(copy, reinterpret_cast<const void *>(object.buffer), object.length);
        object.buffer = reinterpret_cast<binder_uintptr_t>(copy);
        used += (object.length + 7) & ~size_t(7);
        memcpy(data.data() + offset, &object, sizeof object);
        if (object.flags & BINDER_BUFFER_FLAG_HAS_PARENT) {
            binder_buffer_object parent;
            memcpy(&parent, data.data() + offsets[object.parent], sizeof parent);
            uint64_t pointer = object.buffer;
            memcpy(reinterpret_cast<uint8_t *>(parent.buffer) + object.parent_offset, &pointer, sizeof pointer);
        }
    }
    const uint8_t *start = out->region.data();
    size_t size = out->region.size();
    out->parcel = ParcelData::withObjects(std::move(data), std::move(offsets), start, size);
    return out;
}

} // namespace ferry::binder::test
