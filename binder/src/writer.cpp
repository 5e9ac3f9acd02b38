#include <ferry/binder/writer.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>

#include "hidl_p.h"
#include "string16_p.h"

#include <fcntl.h>
#include <linux/android/binder.h>
#include <unistd.h>

#include <cstring>

namespace ferry::binder {

namespace {
constexpr uint32_t kLocalObjectFlags = 0x7f | FLAT_BINDER_FLAG_ACCEPTS_FDS;

size_t align4(size_t n) { return (n + 3) & ~size_t(3); }
size_t align8(size_t n) { return (n + 7) & ~size_t(7); }
} // namespace

Writer::Writer() = default;

Writer::~Writer()
{
    for (int fd : m_fds)
        close(fd);
}

Writer::Writer(Writer &&other) noexcept
    : m_data(std::move(other.m_data)), m_offsets(std::move(other.m_offsets)),
      m_buffers(std::move(other.m_buffers)), m_fds(std::move(other.m_fds)),
      m_localObjects(std::move(other.m_localObjects)), m_remoteObjects(std::move(other.m_remoteObjects)),
      m_buffersSize(other.m_buffersSize), m_failed(other.m_failed)
{
    other.m_fds.clear();
    other.m_buffersSize = 0;
    other.m_failed = false;
}

Writer &Writer::operator=(Writer &&other) noexcept
{
    if (this != &other) {
        for (int fd : m_fds)
            close(fd);
        m_data = std::move(other.m_data);
        m_offsets = std::move(other.m_offsets);
        m_buffers = std::move(other.m_buffers);
        m_fds = std::move(other.m_fds);
        other.m_fds.clear();
        m_localObjects = std::move(other.m_localObjects);
        m_remoteObjects = std::move(other.m_remoteObjects);
        m_buffersSize = other.m_buffersSize;
        other.m_buffersSize = 0;
        m_failed = other.m_failed;
        other.m_failed = false;
    }
    return *this;
}

void Writer::pad()
{
    m_data.resize(align4(m_data.size()), 0);
}

void Writer::appendBytes(const void *data, size_t size)
{
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    if (size)
        m_data.insert(m_data.end(), bytes, bytes + size);
    pad();
}

void Writer::appendInt8(int8_t value)
{
    appendInt32(value);   // a byte takes a padded int32 slot; its upper bytes are what matter least
    // Write it as the byte followed by zero padding, as both parcel flavours do.
    m_data[m_data.size() - 4] = uint8_t(value);
    m_data[m_data.size() - 3] = m_data[m_data.size() - 2] = m_data[m_data.size() - 1] = 0;
}

void Writer::appendInt32(int32_t value) { appendBytes(&value, sizeof value); }
void Writer::appendUint32(uint32_t value) { appendBytes(&value, sizeof value); }
void Writer::appendInt64(int64_t value) { appendBytes(&value, sizeof value); }
void Writer::appendUint64(uint64_t value) { appendBytes(&value, sizeof value); }
void Writer::appendFloat(float value) { appendBytes(&value, sizeof value); }
void Writer::appendDouble(double value) { appendBytes(&value, sizeof value); }
void Writer::appendBool(bool value) { appendInt32(value ? 1 : 0); }

void Writer::appendString16(const char16_t *units, size_t count)
{
    if (!units && count) {
        appendString16Null();
        return;
    }
    if (count > size_t(INT32_MAX) / 2 - 2) {
        BINDER_WARN("String16 of %zu units is too long, written as null", count);
        appendString16Null();
        return;
    }
    appendInt32(int32_t(count));
    size_t start = m_data.size();
    m_data.resize(start + (count + 1) * 2, 0);
    if (count)
        memcpy(m_data.data() + start, units, count * 2);
    pad();
}

void Writer::appendString16(std::string_view utf8)
{
    std::u16string units = utf8ToUtf16(utf8);
    appendString16(units.data(), units.size());
}

void Writer::appendString16Null()
{
    appendInt32(-1);
}

void Writer::appendString8(std::string_view text)
{
    appendInt32(int32_t(text.size()));
    size_t start = m_data.size();
    m_data.resize(start + text.size() + 1, 0);
    if (!text.empty())
        memcpy(m_data.data() + start, text.data(), text.size());
    pad();
}

void Writer::appendCString(std::string_view text)
{
    size_t start = m_data.size();
    m_data.resize(start + text.size() + 1, 0);
    if (!text.empty())
        memcpy(m_data.data() + start, text.data(), text.size());
    pad();
}

void Writer::appendByteArray(const void *data, int32_t size)
{
    if (size < 0 || (!data && size > 0)) {
        appendInt32(-1);
        return;
    }
    appendInt32(size);
    appendBytes(data, size_t(size));
}

void Writer::appendObjectBytes(const void *object, size_t size)
{
    m_offsets.push_back(m_data.size());
    appendBytes(object, size);
}

void Writer::appendNullObject()
{
    flat_binder_object object {};
    object.hdr.type = BINDER_TYPE_BINDER;
    object.flags = kLocalObjectFlags;
    appendBytes(&object, sizeof object);   // a null binder gets no offsets entry
}

void Writer::appendLocalObject(const std::shared_ptr<LocalObject> &local)
{
    if (!local) {
        appendNullObject();
        return;
    }
    flat_binder_object object {};
    object.hdr.type = BINDER_TYPE_BINDER;
    object.flags = kLocalObjectFlags;
    object.binder = local->id();
    object.cookie = local->id();
    m_localObjects.push_back(local);
    appendObjectBytes(&object, sizeof object);
}

void Writer::appendRemoteObject(const std::shared_ptr<RemoteObject> &remote)
{
    if (!remote) {
        appendNullObject();
        return;
    }
    flat_binder_object object {};
    object.hdr.type = BINDER_TYPE_HANDLE;
    object.flags = FLAT_BINDER_FLAG_ACCEPTS_FDS;
    object.handle = remote->handle();
    m_remoteObjects.push_back(remote);
    appendObjectBytes(&object, sizeof object);
}

bool Writer::appendFd(int fd)
{
    int copy = fd >= 0 ? fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    if (copy < 0) {
        BINDER_WARN("cannot duplicate fd %d for a parcel", fd);
        m_failed = true;
        return false;
    }
    m_fds.push_back(copy);
    binder_fd_object object {};
    object.hdr.type = BINDER_TYPE_FD;
    object.pad_flags = kLocalObjectFlags;
    object.fd = uint32_t(copy);
    object.cookie = 1;   // the receiver owns its copy
    appendObjectBytes(&object, sizeof object);
    return true;
}

bool Writer::overwriteInt32(size_t offset, int32_t value)
{
    if (offset > m_data.size() || m_data.size() - offset < sizeof value)
        return false;
    memcpy(m_data.data() + offset, &value, sizeof value);
    return true;
}

void Writer::appendFdArray(const BufferParent &parent, uint32_t count)
{
    binder_fd_array_object object {};
    object.hdr.type = BINDER_TYPE_FDA;
    object.num_fds = count;
    object.parent = parent.index;
    object.parent_offset = parent.offset;
    appendObjectBytes(&object, sizeof object);
}

bool Writer::appendFdArrayCopies(const BufferParent &parent, const int32_t *fds, uint32_t count)
{
    binder_buffer_object buffer;
    if (parent.index >= m_offsets.size() || m_data.size() - m_offsets[parent.index] < sizeof buffer) {
        m_failed = true;
        return false;
    }
    memcpy(&buffer, m_data.data() + m_offsets[parent.index], sizeof buffer);
    if (buffer.hdr.type != BINDER_TYPE_PTR || parent.offset % sizeof(int32_t) || parent.offset > buffer.length
        || (buffer.length - parent.offset) / sizeof(int32_t) < count) {
        BINDER_WARN("fd array of %u outside its parent buffer", count);
        m_failed = true;
        return false;
    }
    // The buffer bytes are this writer's own copy (appendBufferObject).
    auto *slots = reinterpret_cast<uint8_t *>(buffer.buffer);
    for (uint32_t i = 0; i < count; ++i) {
        int copy = fds[i] >= 0 ? fcntl(fds[i], F_DUPFD_CLOEXEC, 0) : -1;
        if (copy < 0) {
            BINDER_WARN("cannot duplicate fd %d of an fd array", fds[i]);
            m_failed = true;
            return false;
        }
        m_fds.push_back(copy);
        int32_t value = copy;
        memcpy(slots + parent.offset + i * sizeof value, &value, sizeof value);
    }
    appendFdArray(parent, count);
    return true;
}

uint32_t Writer::appendBufferObject(const void *data, size_t size, const BufferParent *parent)
{
    m_buffers.emplace_back();
    std::vector<uint8_t> &storage = m_buffers.back();
    if (size) {
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        storage.assign(bytes, bytes + size);
    }
    binder_buffer_object object {};
    object.hdr.type = BINDER_TYPE_PTR;
    object.buffer = size ? reinterpret_cast<binder_uintptr_t>(storage.data()) : 0;
    object.length = size;
    if (parent) {
        object.flags = BINDER_BUFFER_FLAG_HAS_PARENT;
        object.parent = parent->index;
        object.parent_offset = parent->offset;
    }
    m_buffersSize += align8(size);
    uint32_t index = uint32_t(m_offsets.size());
    appendObjectBytes(&object, sizeof object);
    return index;
}

void Writer::appendHidlString(std::string_view text)
{
    m_buffers.emplace_back(text.begin(), text.end());
    std::vector<uint8_t> &chars = m_buffers.back();
    chars.push_back(0);
    HidlStringVecStruct header {};
    header.pointer = reinterpret_cast<uint64_t>(chars.data());
    header.size = uint32_t(text.size());
    header.ownsBuffer = 1;
    BufferParent parent {appendBufferObject(&header, sizeof header, nullptr), 0};
    // The characters are already stored; describe them in place.
    binder_buffer_object object {};
    object.hdr.type = BINDER_TYPE_PTR;
    object.flags = BINDER_BUFFER_FLAG_HAS_PARENT;
    object.buffer = reinterpret_cast<binder_uintptr_t>(chars.data());
    object.length = chars.size();
    object.parent = parent.index;
    object.parent_offset = parent.offset;
    m_buffersSize += align8(chars.size());
    appendObjectBytes(&object, sizeof object);
}

void Writer::appendHidlVec(const void *elements, size_t count, size_t elementSize)
{
    if (!elements)
        count = 0;
    m_buffers.emplace_back();
    std::vector<uint8_t> &array = m_buffers.back();
    if (count && elementSize) {
        const uint8_t *bytes = static_cast<const uint8_t *>(elements);
        array.assign(bytes, bytes + count * elementSize);
    }
    HidlStringVecStruct header {};
    header.pointer = array.empty() ? 0 : reinterpret_cast<uint64_t>(array.data());
    header.size = uint32_t(count);
    header.ownsBuffer = 1;
    BufferParent parent {appendBufferObject(&header, sizeof header, nullptr), 0};
    binder_buffer_object object {};
    object.hdr.type = BINDER_TYPE_PTR;
    object.flags = BINDER_BUFFER_FLAG_HAS_PARENT;
    object.buffer = header.pointer;
    object.length = array.size();
    object.parent = parent.index;
    object.parent_offset = 0;
    m_buffersSize += align8(array.size());
    appendObjectBytes(&object, sizeof object);
}

void Writer::appendHidlStringVec(const std::vector<std::string> &strings)
{
    // Characters first so that the array can point at them.
    std::vector<HidlStringVecStruct> entries(strings.size());
    std::vector<std::vector<uint8_t> *> chars;
    for (size_t k = 0; k < strings.size(); ++k) {
        m_buffers.emplace_back(strings[k].begin(), strings[k].end());
        m_buffers.back().push_back(0);
        chars.push_back(&m_buffers.back());
        entries[k].pointer = reinterpret_cast<uint64_t>(m_buffers.back().data());
        entries[k].size = uint32_t(strings[k].size());
        entries[k].ownsBuffer = 1;
    }
    m_buffers.emplace_back();
    std::vector<uint8_t> &array = m_buffers.back();
    if (!entries.empty()) {
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(entries.data());
        array.assign(bytes, bytes + entries.size() * sizeof(HidlStringVecStruct));
    }
    HidlStringVecStruct header {};
    header.pointer = array.empty() ? 0 : reinterpret_cast<uint64_t>(array.data());
    header.size = uint32_t(strings.size());
    header.ownsBuffer = 1;
    uint32_t vecIndex = appendBufferObject(&header, sizeof header, nullptr);

    auto describe = [this](const std::vector<uint8_t> &storage, uint32_t parentIndex, size_t parentOffset) {
        binder_buffer_object object {};
        object.hdr.type = BINDER_TYPE_PTR;
        object.flags = BINDER_BUFFER_FLAG_HAS_PARENT;
        object.buffer = storage.empty() ? 0 : reinterpret_cast<binder_uintptr_t>(storage.data());
        object.length = storage.size();
        object.parent = parentIndex;
        object.parent_offset = parentOffset;
        m_buffersSize += align8(storage.size());
        uint32_t index = uint32_t(m_offsets.size());
        appendObjectBytes(&object, sizeof object);
        return index;
    };
    uint32_t arrayIndex = describe(array, vecIndex, 0);
    for (size_t k = 0; k < chars.size(); ++k)
        describe(*chars[k], arrayIndex, k * sizeof(HidlStringVecStruct));
}

} // namespace ferry::binder
