#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class LocalObject;
class RemoteObject;
class ParcelData;

// Parcel reader. It never reads past its data: every read that would leave
// the data, hit a malformed item or an object not listed in the parcel's
// offsets returns false and leaves the position unchanged. Copies share the
// parcel, which stays alive (and its kernel buffer held) while any reader,
// request or reply over it exists.
class Reader {
public:
    Reader();
    Reader(const uint8_t *data, size_t size);   // plain bytes without objects; not copied
    explicit Reader(std::shared_ptr<const ParcelData> parcel, size_t position = 0);
    ~Reader();
    Reader(const Reader &);
    Reader &operator=(const Reader &);

    bool atEnd() const { return m_pos >= m_size; }
    size_t bytesRemaining() const { return m_pos < m_size ? m_size - m_pos : 0; }
    size_t position() const { return m_pos; }
    const uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }

    bool readInt8(int8_t *);
    bool readInt32(int32_t *);
    bool readUint32(uint32_t *);
    bool readInt64(int64_t *);
    bool readUint64(uint64_t *);
    bool readFloat(float *);
    bool readDouble(double *);
    bool readBool(bool *);                   // int32, any non-zero is true
    bool readString16(std::u16string *out, bool *isNull);
    bool readString16(std::string *utf8, bool *isNull);  // converted to UTF-8
    bool readString8(std::string *);
    bool readCString(std::string *);
    bool readByteArray(std::vector<uint8_t> *out, bool *isNull);
    bool readBytes(const void **data, size_t size);       // raw, padded to 4
    // true with *out == nullptr for a null binder; false for a malformed
    // object or one of this process's own objects (see readLocalObject)
    bool readObject(std::shared_ptr<RemoteObject> *out);
    bool readLocalObject(std::shared_ptr<LocalObject> *out);
    bool readFd(int *fd);                    // stays owned by the parcel; dup() to keep it
    bool skip(size_t bytes);

    // HIDL
    bool readBufferObject(const void **data, size_t *size);
    bool readHidlString(std::string *);
    bool readHidlStringVec(std::vector<std::string> *);
    bool readHidlVec(const void **elements, size_t *count, size_t elementSize);

    uint32_t objectCount() const;

private:
    friend const std::shared_ptr<const ParcelData> &readerParcel(const Reader &reader);
    bool readRaw(void *out, size_t size);
    bool readBufferObjectAt(size_t pos, uint32_t *index, const uint8_t **data, size_t *size,
                            const uint32_t *parentIndex, size_t parentOffset);
    // A hidl_string/hidl_vec header at *pos and the buffer it points to,
    // which must follow it; *count is the header's size field.
    bool readHidlBlock(size_t *pos, uint32_t *count, uint32_t *index, const uint8_t **data, size_t *size);

    std::shared_ptr<const ParcelData> m_parcel;
    const uint8_t *m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
};

} // namespace ferry::binder
