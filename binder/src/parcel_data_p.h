#pragma once

#include <ferry/binder/reader.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ferry::binder {

class Ipc;

// The bytes and objects of one parcel a Reader reads. A parcel received
// from the kernel gives its buffer back (BC_FREE_BUFFER) and closes the fds
// of its BINDER_TYPE_FD objects when the last reader, request or reply over
// it is gone (fd arrays are closed by the kernel with the buffer).
class ParcelData {
public:
    // Plain bytes owned by the caller, no objects.
    static std::shared_ptr<ParcelData> fromBytes(const uint8_t *data, size_t size);
    // A copy of |data| with objects at |offsets|; buffer objects must point
    // into [bufferStart, bufferStart + bufferSize). For tests and codecs.
    static std::shared_ptr<ParcelData> withObjects(std::vector<uint8_t> data, std::vector<uint64_t> offsets,
                                                   const uint8_t *bufferStart, size_t bufferSize);
    // A buffer received from the kernel.
    static std::shared_ptr<ParcelData> received(const std::shared_ptr<Ipc> &ipc, uintptr_t buffer, size_t dataSize,
                                                uintptr_t offsets, size_t offsetsSize, bool freeBuffer);
    ~ParcelData();

    const uint8_t *data() const { return m_data; }
    size_t size() const { return m_size; }
    size_t objectCount() const { return m_offsetCount; }
    uint64_t objectOffset(size_t index) const { return m_offsets[index]; }
    // Index of the object listed at byte |position|, -1 if none.
    long objectIndexAt(size_t position) const;
    bool bufferInRange(uint64_t pointer, uint64_t length) const;
    const std::shared_ptr<Ipc> &ipc() const { return m_ipc; }

    ParcelData(const ParcelData &) = delete;
    ParcelData &operator=(const ParcelData &) = delete;

private:
    ParcelData() = default;
    void closeFds();

    const uint8_t *m_data = nullptr;
    size_t m_size = 0;
    const uint64_t *m_offsets = nullptr;
    size_t m_offsetCount = 0;
    bool m_sorted = true;
    uintptr_t m_bufferStart = 0;
    size_t m_bufferSize = 0;
    std::vector<uint8_t> m_ownedData;
    std::vector<uint64_t> m_ownedOffsets;
    std::shared_ptr<Ipc> m_ipc;
    uintptr_t m_kernelBuffer = 0;   // to free, 0 if none
    bool m_ownsFds = false;
};

// The parcel a reader reads, for copying it whole.
inline const std::shared_ptr<const ParcelData> &readerParcel(const Reader &reader)
{
    return reader.m_parcel;
}

} // namespace ferry::binder
