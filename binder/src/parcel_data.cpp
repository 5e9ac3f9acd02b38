#include "parcel_data_p.h"

#include "hidl_p.h"
#include "ipc_p.h"

#include <linux/android/binder.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace ferry::binder {

std::shared_ptr<ParcelData> ParcelData::fromBytes(const uint8_t *data, size_t size)
{
    std::shared_ptr<ParcelData> parcel(new ParcelData);
    parcel->m_data = data;
    parcel->m_size = data ? size : 0;
    return parcel;
}

std::shared_ptr<ParcelData> ParcelData::withObjects(std::vector<uint8_t> data, std::vector<uint64_t> offsets,
                                                    const uint8_t *bufferStart, size_t bufferSize)
{
    std::shared_ptr<ParcelData> parcel(new ParcelData);
    parcel->m_ownedData = std::move(data);
    parcel->m_ownedOffsets = std::move(offsets);
    parcel->m_data = parcel->m_ownedData.data();
    parcel->m_size = parcel->m_ownedData.size();
    parcel->m_offsets = parcel->m_ownedOffsets.data();
    parcel->m_offsetCount = parcel->m_ownedOffsets.size();
    parcel->m_sorted = std::is_sorted(parcel->m_ownedOffsets.begin(), parcel->m_ownedOffsets.end());
    parcel->m_bufferStart = reinterpret_cast<uintptr_t>(bufferStart);
    parcel->m_bufferSize = bufferStart ? bufferSize : 0;
    return parcel;
}

std::shared_ptr<ParcelData> ParcelData::received(const std::shared_ptr<Ipc> &ipc, uintptr_t buffer, size_t dataSize,
                                                 uintptr_t offsets, size_t offsetsSize, bool freeBuffer)
{
    std::shared_ptr<ParcelData> parcel(new ParcelData);
    parcel->m_ipc = ipc;
    parcel->m_kernelBuffer = freeBuffer ? buffer : 0;
    IpcPrivate &d = ipcPrivate(*ipc);
    // The kernel places everything inside our mapping; refuse anything else.
    if (buffer && d.inMapping(buffer, dataSize)) {
        parcel->m_data = reinterpret_cast<const uint8_t *>(buffer);
        parcel->m_size = dataSize;
    }
    if (offsets && offsetsSize >= sizeof(uint64_t) && (offsets % alignof(uint64_t)) == 0
        && d.inMapping(offsets, offsetsSize)) {
        parcel->m_offsets = reinterpret_cast<const uint64_t *>(offsets);
        parcel->m_offsetCount = offsetsSize / sizeof(uint64_t);
        parcel->m_sorted = std::is_sorted(parcel->m_offsets, parcel->m_offsets + parcel->m_offsetCount);
    }
    parcel->m_bufferStart = d.mapStart();
    parcel->m_bufferSize = d.mapSize();
    parcel->m_ownsFds = true;
    return parcel;
}

ParcelData::~ParcelData()
{
    if (m_ownsFds)
        closeFds();
    if (m_ipc && m_kernelBuffer)
        ipcPrivate(*m_ipc).freeBuffer(m_kernelBuffer);
}

long ParcelData::objectIndexAt(size_t position) const
{
    if (!m_offsetCount)
        return -1;
    if (m_sorted) {
        const uint64_t *end = m_offsets + m_offsetCount;
        const uint64_t *it = std::lower_bound(m_offsets, end, uint64_t(position));
        return it != end && *it == position ? long(it - m_offsets) : -1;
    }
    for (size_t i = 0; i < m_offsetCount; ++i) {
        if (m_offsets[i] == position)
            return long(i);
    }
    return -1;
}

bool ParcelData::bufferInRange(uint64_t pointer, uint64_t length) const
{
    if (!m_bufferSize)
        return false;
    if (length == 0)
        return pointer == 0 || (pointer >= m_bufferStart && pointer - m_bufferStart <= m_bufferSize);
    return pointer >= m_bufferStart && pointer - m_bufferStart <= m_bufferSize
        && length <= m_bufferSize - (pointer - m_bufferStart);
}

void ParcelData::closeFds()
{
    // The fd of each BINDER_TYPE_FD object is ours to close.
    for (size_t i = 0; i < m_offsetCount; ++i) {
        uint64_t pos = m_offsets[i];
        if (pos > m_size || m_size - pos < sizeof(binder_object_header))
            continue;
        uint32_t type;
        memcpy(&type, m_data + pos, sizeof type);
        if (type == BINDER_TYPE_FD && m_size - pos >= sizeof(binder_fd_object)) {
            binder_fd_object object;
            memcpy(&object, m_data + pos, sizeof object);
            if (int(object.fd) >= 0)
                close(int(object.fd));
        }
        // The fds of a BINDER_TYPE_FDA array belong to the transaction
        // buffer: the kernel closes them itself on BC_FREE_BUFFER.
    }
}

} // namespace ferry::binder
