#include "parcel_copy_p.h"

#include <ferry/binder/log.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include "parcel_data_p.h"

#include <linux/android/binder.h>

#include <cstring>
#include <vector>

namespace ferry::binder {

namespace {

// The buffer object listed as object |index|, checked to lie in the parcel.
bool readBufferObject(const ParcelData &parcel, uint32_t index, binder_buffer_object *out)
{
    uint64_t offset = parcel.objectOffset(index);
    if (offset > parcel.size() || parcel.size() - offset < sizeof *out)
        return false;
    memcpy(out, parcel.data() + offset, sizeof *out);
    return out->hdr.type == BINDER_TYPE_PTR && parcel.bufferInRange(out->buffer, out->length);
}

} // namespace

bool copyParcel(const Reader &from, Writer *to, const ObjectCopier &objects)
{
    const uint8_t *data = from.data();
    size_t size = from.size();
    const ParcelData *parcel = readerParcel(from).get();
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
        case BINDER_TYPE_FDA: {
            binder_fd_array_object object;
            if (size - offset < sizeof object)
                return false;
            memcpy(&object, data + offset, sizeof object);
            // Its fds sit in the parent buffer as this process's numbers,
            // valid while the received parcel is held.
            binder_buffer_object parentObject;
            if (object.parent >= i || newIndex[object.parent] < 0
                || !readBufferObject(*parcel, object.parent, &parentObject)
                || object.parent_offset % sizeof(int32_t) || object.parent_offset > parentObject.length
                || (parentObject.length - object.parent_offset) / sizeof(int32_t) < object.num_fds)
                return false;
            std::vector<int32_t> fds(object.num_fds);
            if (object.num_fds)
                memcpy(fds.data(), reinterpret_cast<const uint8_t *>(parentObject.buffer) + object.parent_offset,
                       fds.size() * sizeof(int32_t));
            BufferParent parent {uint32_t(newIndex[object.parent]), size_t(object.parent_offset)};
            newIndex[i] = to->objectCount();
            if (!to->appendFdArrayCopies(parent, fds.data(), uint32_t(fds.size())))
                return false;
            pos = offset + sizeof object;
            break;
        }
        case BINDER_TYPE_BINDER:
        case BINDER_TYPE_WEAK_BINDER:
        case BINDER_TYPE_HANDLE:
        case BINDER_TYPE_WEAK_HANDLE: {
            if (size - offset < sizeof(flat_binder_object))
                return false;
            uint32_t before = to->objectCount();
            if (objects) {
                if (!objects(Reader(readerParcel(from), size_t(offset)), to))
                    return false;
            } else {
                BINDER_DEBUG("relay: a binder object cannot cross devices, sent as null");
                to->appendNullObject();
            }
            // A null binder is not listed: nothing can refer to it.
            if (to->objectCount() > before)
                newIndex[i] = before;
            pos = offset + sizeof(flat_binder_object);
            break;
        }
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
