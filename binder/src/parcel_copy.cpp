#include "parcel_copy_p.h"

#include <ferry/binder/log.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include "parcel_data_p.h"

#include <linux/android/binder.h>

#include <cstring>
#include <vector>

namespace ferry::binder {

bool copyParcel(const Reader &from, Writer *to)
{
    const uint8_t *data = from.data();
    size_t size = from.size();
    const ParcelData *parcel = from.parcel().get();
    size_t count = parcel ? parcel->objectCount() : 0;
    std::vector<long> newIndex(count, -1);
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        uint64_t offset = parcel->objectOffset(i);
        if (offset < pos || offset > size || size - offset < sizeof(binder_object_header) || (offset - pos) % 4)
            return false;
        to->appendBytes(data + pos, size_t(offset - pos));
        uint32_t type;
        memcpy(&type, data + offset, sizeof type);
        switch (type) {
        case BINDER_TYPE_PTR: {
            binder_buffer_object object;
            if (size - offset < sizeof object)
                return false;
            memcpy(&object, data + offset, sizeof object);
            if (!parcel->bufferInRange(object.buffer, object.length))
                return false;
            BufferParent parent;
            bool hasParent = object.flags & BINDER_BUFFER_FLAG_HAS_PARENT;
            if (hasParent) {
                if (object.parent >= i || newIndex[object.parent] < 0)
                    return false;
                parent.index = uint32_t(newIndex[object.parent]);
                parent.offset = object.parent_offset;
            }
            newIndex[i] = to->appendBufferObject(reinterpret_cast<const void *>(object.buffer), object.length,
                                                 hasParent ? &parent : nullptr);
            pos = offset + sizeof object;
            break;
        }
        case BINDER_TYPE_FD: {
            binder_fd_object object;
            if (size - offset < sizeof object)
                return false;
            memcpy(&object, data + offset, sizeof object);
            newIndex[i] = to->objectCount();
            if (!to->appendFd(int(object.fd)))
                return false;
            pos = offset + sizeof object;
            break;
        }
        case BINDER_TYPE_BINDER:
        case BINDER_TYPE_WEAK_BINDER:
        case BINDER_TYPE_HANDLE:
        case BINDER_TYPE_WEAK_HANDLE:
            if (size - offset < sizeof(flat_binder_object))
                return false;
            BINDER_DEBUG("relay: a binder object cannot cross devices, sent as null");
            to->appendNullObject();
            pos = offset + sizeof(flat_binder_object);
            break;
        default:
            BINDER_WARN("relay: cannot forward object type %#x", type);
            return false;
        }
    }
    if (pos < size)
        to->appendBytes(data + pos, size - pos);
    return true;
}

} // namespace ferry::binder
