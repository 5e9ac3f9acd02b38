#include <ferry/binder/reader.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/remote_object.h>

#include "hidl_p.h"
#include "ipc_p.h"
#include "parcel_data_p.h"
#include "string16_p.h"

#include <linux/android/binder.h>

#include <cstring>

namespace ferry::binder {

namespace {
size_t align4(size_t n) { return (n + 3) & ~size_t(3); }
} // namespace

Reader::Reader() = default;

Reader::Reader(const uint8_t *data, size_t size)
    : m_parcel(ParcelData::fromBytes(data, size)), m_data(m_parcel->data()), m_size(m_parcel->size())
{
}

Reader::Reader(std::shared_ptr<const ParcelData> parcel, size_t position)
    : m_parcel(std::move(parcel))
{
    if (m_parcel) {
        m_data = m_parcel->data();
        m_size = m_parcel->size();
        m_pos = position < m_size ? position : m_size;
    }
}

Reader::~Reader() = default;
Reader::Reader(const Reader &) = default;
Reader &Reader::operator=(const Reader &) = default;

uint32_t Reader::objectCount() const
{
    return m_parcel ? uint32_t(m_parcel->objectCount()) : 0;
}

bool Reader::readRaw(void *out, size_t size)
{
    if (m_pos > m_size || m_size - m_pos < size)
        return false;
    memcpy(out, m_data + m_pos, size);
    size_t padded = align4(size);
    m_pos = m_size - m_pos < padded ? m_size : m_pos + padded;
    return true;
}

bool Reader::skip(size_t bytes)
{
    if (m_pos > m_size || m_size - m_pos < bytes)
        return false;
    m_pos += bytes;
    return true;
}

bool Reader::readBytes(const void **data, size_t size)
{
    if (m_pos > m_size || m_size - m_pos < size)
        return false;
    *data = m_data + m_pos;
    size_t padded = align4(size);
    m_pos = m_size - m_pos < padded ? m_size : m_pos + padded;
    return true;
}

bool Reader::readInt8(int8_t *out)
{
    int8_t value;
    if (!readRaw(&value, 1))
        return false;
    *out = value;
    return true;
}

bool Reader::readInt32(int32_t *out) { return readRaw(out, sizeof *out); }
bool Reader::readUint32(uint32_t *out) { return readRaw(out, sizeof *out); }
bool Reader::readInt64(int64_t *out) { return readRaw(out, sizeof *out); }
bool Reader::readUint64(uint64_t *out) { return readRaw(out, sizeof *out); }
bool Reader::readFloat(float *out) { return readRaw(out, sizeof *out); }
bool Reader::readDouble(double *out) { return readRaw(out, sizeof *out); }

bool Reader::readBool(bool *out)
{
    int32_t value;
    if (!readInt32(&value))
        return false;
    *out = value != 0;
    return true;
}

bool Reader::readString16(std::u16string *out, bool *isNull)
{
    size_t start = m_pos;
    int32_t length;
    if (!readInt32(&length))
        return false;
    if (length == -1) {
        if (isNull)
            *isNull = true;
        if (out)
            out->clear();
        return true;
    }
    size_t bytes = (size_t(length) + 1) * 2;
    if (length < 0 || m_size - m_pos < bytes) {
        m_pos = start;
        return false;
    }
    const uint8_t *units = m_data + m_pos;
    if (units[size_t(length) * 2] != 0 || units[size_t(length) * 2 + 1] != 0) {
        m_pos = start;
        return false;
    }
    if (out) {
        out->resize(size_t(length));
        if (length)
            memcpy(&(*out)[0], units, size_t(length) * 2);
    }
    if (isNull)
        *isNull = false;
    m_pos = m_size - m_pos < align4(bytes) ? m_size : m_pos + align4(bytes);
    return true;
}

bool Reader::readString16(std::string *utf8, bool *isNull)
{
    std::u16string units;
    bool null = false;
    if (!readString16(&units, &null))
        return false;
    if (isNull)
        *isNull = null;
    if (utf8)
        *utf8 = utf16ToUtf8(units);
    return true;
}

bool Reader::readString8(std::string *out)
{
    size_t start = m_pos;
    int32_t length;
    if (!readInt32(&length))
        return false;
    if (length < 0 || m_size - m_pos < size_t(length) + 1 || m_data[m_pos + size_t(length)] != 0) {
        m_pos = start;
        return false;
    }
    if (out)
        out->assign(reinterpret_cast<const char *>(m_data + m_pos), size_t(length));
    size_t padded = align4(size_t(length) + 1);
    m_pos = m_size - m_pos < padded ? m_size : m_pos + padded;
    return true;
}

bool Reader::readCString(std::string *out)
{
    if (m_pos >= m_size)
        return false;
    const void *nul = memchr(m_data + m_pos, 0, m_size - m_pos);
    if (!nul)
        return false;
    size_t length = static_cast<const uint8_t *>(nul) - (m_data + m_pos);
    if (out)
        out->assign(reinterpret_cast<const char *>(m_data + m_pos), length);
    size_t padded = align4(length + 1);
    m_pos = m_size - m_pos < padded ? m_size : m_pos + padded;
    return true;
}

bool Reader::readByteArray(std::vector<uint8_t> *out, bool *isNull)
{
    size_t start = m_pos;
    int32_t size;
    if (!readInt32(&size))
        return false;
    if (size == -1) {
        if (isNull)
            *isNull = true;
        if (out)
            out->clear();
        return true;
    }
    const void *bytes;
    if (size < 0 || !readBytes(&bytes, size_t(size))) {
        m_pos = start;
        return false;
    }
    if (out)
        out->assign(static_cast<const uint8_t *>(bytes), static_cast<const uint8_t *>(bytes) + size);
    if (isNull)
        *isNull = false;
    return true;
}

bool Reader::readObject(std::shared_ptr<RemoteObject> *out)
{
    if (m_pos > m_size || m_size - m_pos < sizeof(flat_binder_object))
        return false;
    flat_binder_object object;
    memcpy(&object, m_data + m_pos, sizeof object);
    bool listed = m_parcel && m_parcel->objectIndexAt(m_pos) >= 0;
    if ((object.hdr.type == BINDER_TYPE_BINDER || object.hdr.type == BINDER_TYPE_WEAK_BINDER) && !object.binder) {
        if (out)
            out->reset();
        m_pos += sizeof object;
        return true;
    }
    if (!listed || object.hdr.type != BINDER_TYPE_HANDLE || !m_parcel->ipc())
        return false;
    std::shared_ptr<RemoteObject> remote = ipcPrivate(*m_parcel->ipc()).remoteObjectForHandle(object.handle);
    if (!remote)
        return false;
    if (out)
        *out = std::move(remote);
    m_pos += sizeof object;
    return true;
}

bool Reader::readLocalObject(std::shared_ptr<LocalObject> *out)
{
    if (m_pos > m_size || m_size - m_pos < sizeof(flat_binder_object))
        return false;
    flat_binder_object object;
    memcpy(&object, m_data + m_pos, sizeof object);
    if (object.hdr.type != BINDER_TYPE_BINDER)
        return false;
    if (!object.binder) {
        if (out)
            out->reset();
        m_pos += sizeof object;
        return true;
    }
    if (!m_parcel || m_parcel->objectIndexAt(m_pos) < 0 || !m_parcel->ipc())
        return false;
    std::shared_ptr<LocalObject> local = ipcPrivate(*m_parcel->ipc()).localObjectForId(object.binder);
    if (!local)
        return false;
    if (out)
        *out = std::move(local);
    m_pos += sizeof object;
    return true;
}

bool Reader::readFd(int *fd)
{
    if (m_pos > m_size || m_size - m_pos < sizeof(binder_fd_object))
        return false;
    binder_fd_object object;
    memcpy(&object, m_data + m_pos, sizeof object);
    if (object.hdr.type != BINDER_TYPE_FD || !m_parcel || m_parcel->objectIndexAt(m_pos) < 0)
        return false;
    if (fd)
        *fd = int(object.fd);
    m_pos += sizeof object;
    return true;
}

// Reads the buffer object at |pos|. With |parentIndex| the object must hang
// at |parentOffset| of that parent buffer, whose pointer there must be ours.
bool Reader::readBufferObjectAt(size_t pos, uint32_t *index, const uint8_t **data, size_t *size,
                                const uint32_t *parentIndex, size_t parentOffset)
{
    if (!m_parcel || pos > m_size || m_size - pos < sizeof(binder_buffer_object))
        return false;
    long listed = m_parcel->objectIndexAt(pos);
    if (listed < 0)
        return false;
    binder_buffer_object object;
    memcpy(&object, m_data + pos, sizeof object);
    if (object.hdr.type != BINDER_TYPE_PTR || !m_parcel->bufferInRange(object.buffer, object.length))
        return false;
    bool hasParent = object.flags & BINDER_BUFFER_FLAG_HAS_PARENT;
    if (parentIndex) {
        if (!hasParent || object.parent != *parentIndex || object.parent_offset != parentOffset)
            return false;
    }
    if (hasParent) {
        // The parent must come earlier, be a buffer, and hold our pointer.
        if (object.parent >= uint64_t(listed))
            return false;
        uint64_t parentPos = m_parcel->objectOffset(size_t(object.parent));
        if (parentPos > m_size || m_size - parentPos < sizeof(binder_buffer_object))
            return false;
        binder_buffer_object parent;
        memcpy(&parent, m_data + parentPos, sizeof parent);
        if (parent.hdr.type != BINDER_TYPE_PTR || !m_parcel->bufferInRange(parent.buffer, parent.length)
            || parent.length < sizeof(uint64_t) || object.parent_offset > parent.length - sizeof(uint64_t))
            return false;
        uint64_t pointer;
        memcpy(&pointer, reinterpret_cast<const uint8_t *>(parent.buffer) + object.parent_offset, sizeof pointer);
        if (pointer != object.buffer)
            return false;
    }
    *index = uint32_t(listed);
    *data = reinterpret_cast<const uint8_t *>(object.buffer);
    *size = size_t(object.length);
    return true;
}

bool Reader::readBufferObject(const void **data, size_t *size)
{
    uint32_t index;
    const uint8_t *bytes;
    size_t length;
    if (!readBufferObjectAt(m_pos, &index, &bytes, &length, nullptr, 0))
        return false;
    if (data)
        *data = bytes;
    if (size)
        *size = length;
    m_pos += sizeof(binder_buffer_object);
    return true;
}

bool Reader::readHidlBlock(size_t *pos, uint32_t *count, uint32_t *index, const uint8_t **data, size_t *size)
{
    uint32_t headerIndex;
    const uint8_t *header;
    size_t headerSize;
    if (!readBufferObjectAt(*pos, &headerIndex, &header, &headerSize, nullptr, 0)
        || headerSize != sizeof(HidlStringVecStruct))
        return false;
    HidlStringVecStruct s;
    memcpy(&s, header, sizeof s);
    if (!readBufferObjectAt(*pos + sizeof(binder_buffer_object), index, data, size, &headerIndex, 0))
        return false;
    *count = s.size;
    *pos += 2 * sizeof(binder_buffer_object);
    return true;
}

bool Reader::readHidlString(std::string *out)
{
    size_t pos = m_pos;
    uint32_t length, charsIndex;
    const uint8_t *chars;
    size_t charsSize;
    if (!readHidlBlock(&pos, &length, &charsIndex, &chars, &charsSize)
        || charsSize != size_t(length) + 1 || chars[length] != 0)
        return false;
    if (out)
        out->assign(reinterpret_cast<const char *>(chars), length);
    m_pos = pos;
    return true;
}

bool Reader::readHidlVec(const void **elements, size_t *count, size_t elementSize)
{
    size_t pos = m_pos;
    uint32_t n, arrayIndex;
    const uint8_t *array;
    size_t arraySize;
    if (!elementSize || !readHidlBlock(&pos, &n, &arrayIndex, &array, &arraySize)
        || arraySize / elementSize != n || arraySize % elementSize != 0)
        return false;
    if (elements)
        *elements = n ? array : nullptr;
    if (count)
        *count = n;
    m_pos = pos;
    return true;
}

bool Reader::readHidlStringVec(std::vector<std::string> *out)
{
    size_t pos = m_pos;
    uint32_t n, arrayIndex;
    const uint8_t *array;
    size_t arraySize;
    if (!readHidlBlock(&pos, &n, &arrayIndex, &array, &arraySize)
        || arraySize / sizeof(HidlStringVecStruct) != n || arraySize % sizeof(HidlStringVecStruct) != 0)
        return false;
    std::vector<std::string> strings;
    strings.reserve(n);   // bounded by the array buffer already checked
    for (uint32_t k = 0; k < n; ++k) {
        HidlStringVecStruct entry;
        memcpy(&entry, array + k * sizeof entry, sizeof entry);
        uint32_t charsIndex;
        const uint8_t *chars;
        size_t charsSize;
        if (!readBufferObjectAt(pos, &charsIndex, &chars, &charsSize, &arrayIndex, k * sizeof entry)
            || charsSize != size_t(entry.size) + 1 || chars[entry.size] != 0)
            return false;
        strings.emplace_back(reinterpret_cast<const char *>(chars), entry.size);
        pos += sizeof(binder_buffer_object);
    }
    if (out)
        *out = std::move(strings);
    m_pos = pos;
    return true;
}

} // namespace ferry::binder
