#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::binder {

class LocalObject;
class RemoteObject;

// Where a HIDL buffer object hangs: the object index of its parent buffer
// and the byte offset inside that buffer of the pointer the kernel patches.
struct BufferParent {
    uint32_t index = 0;
    size_t offset = 0;
};

// Parcel writer: little-endian, every item padded to 4 bytes. Objects
// (binders, fds, HIDL buffers) are listed in the offsets array; the writer
// keeps what they refer to (local objects, its own fd copies, buffer bytes)
// alive until it is destroyed, which is after the kernel has copied them.
class Writer {
public:
    Writer();
    ~Writer();
    Writer(Writer &&) noexcept;
    Writer &operator=(Writer &&) noexcept;
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    const std::vector<uint8_t> &data() const { return m_data; }
    // False once something could not be written (a failed fd dup): such a
    // parcel is refused by every call rather than sent incomplete.
    bool isValid() const { return !m_failed; }
    size_t bytesWritten() const { return m_data.size(); }

    void appendInt8(int8_t);      // padded to 4
    void appendInt32(int32_t);
    void appendUint32(uint32_t);
    void appendInt64(int64_t);
    void appendUint64(uint64_t);
    void appendFloat(float);
    void appendDouble(double);
    void appendBool(bool);        // int32 0/1 (AIDL); HIDL bools are appendInt8
    void appendString16(const char16_t *units, size_t count);
    void appendString16(std::string_view utf8);  // invalid UTF-8 becomes U+FFFD
    void appendString16Null();
    void appendString8(std::string_view);        // int32 length, bytes, NUL, pad
    void appendCString(std::string_view);        // bytes, NUL, pad (HIDL token)
    void appendByteArray(const void *data, int32_t size);  // size -1: null array
    void appendBytes(const void *data, size_t size);        // raw, padded to 4
    void appendLocalObject(const std::shared_ptr<LocalObject> &);   // null -> null binder
    void appendRemoteObject(const std::shared_ptr<RemoteObject> &); // null -> null binder
    void appendNullObject();
    // dup()s |fd|; false if that fails, and the writer is then invalid.
    bool appendFd(int fd);
    bool overwriteInt32(size_t offset, int32_t value);

    // HIDL
    uint32_t appendBufferObject(const void *data, size_t size, const BufferParent *parent);
    void appendHidlString(std::string_view);
    void appendHidlStringVec(const std::vector<std::string> &);
    void appendHidlVec(const void *elements, size_t count, size_t elementSize);
    // An fd array (hidl_handle): |count| int32 fds the caller wrote at
    // parent.offset inside the buffer object parent.index. The receiver's
    // kernel installs copies and closes them when the buffer is freed.
    void appendFdArray(const BufferParent &parent, uint32_t count);
    // The same for fds the writer does not own yet: dup()s each of |fds|
    // into the parent buffer's copy at parent.offset and keeps the copies
    // until the writer goes. False (and the writer invalid) if the parent is
    // not a buffer object of this writer with room there, or a dup fails.
    bool appendFdArrayCopies(const BufferParent &parent, const int32_t *fds, uint32_t count);

    // Objects written so far (kernel view).
    const std::vector<uint64_t> &objectOffsets() const { return m_offsets; }
    size_t buffersSize() const { return m_buffersSize; }  // sum of buffer lengths rounded to 8
    uint32_t objectCount() const { return uint32_t(m_offsets.size()); }

private:
    void pad();
    void appendObjectBytes(const void *object, size_t size);

    std::vector<uint8_t> m_data;
    std::vector<uint64_t> m_offsets;
    std::deque<std::vector<uint8_t>> m_buffers;    // stable addresses
    std::vector<int> m_fds;
    std::vector<std::shared_ptr<LocalObject>> m_localObjects;
    std::vector<std::shared_ptr<RemoteObject>> m_remoteObjects;
    size_t m_buffersSize = 0;
    bool m_failed = false;
};

} // namespace ferry::binder
