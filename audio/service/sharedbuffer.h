// One shared audio buffer handed over by Android's HAL at stream open: the
// descriptor (memfd or ashmem) mapped once, read or written in place by
// every later write or read request of that stream.
#pragma once

#include <cstddef>
#include <cstdint>

class SharedBuffer {
public:
    // Larger buffers than this are refused (a HAL buffer holds a few
    // periods, far below it).
    static constexpr uint64_t kMaxSize = 16u * 1024u * 1024u;

    SharedBuffer() = default;
    ~SharedBuffer() { unmap(); }
    SharedBuffer(const SharedBuffer &) = delete;
    SharedBuffer &operator=(const SharedBuffer &) = delete;

    // Takes a copy of |fd| and maps |size| bytes of it read-write. Refuses
    // (false, error line) a size of 0 or above kMaxSize, a size larger than
    // the shared object, and descriptors that are neither memfd nor ashmem.
    bool map(int fd, int64_t size);
    // The checks of map() alone. *fixed: the object can no longer shrink.
    static bool acceptable(int fd, int64_t size, bool *fixed);
    // Unmaps and closes; the record is empty afterwards whatever fails.
    void unmap();

    bool isMapped() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    uint64_t length() const { return m_length; }
    uint8_t *data() const { return static_cast<uint8_t *>(m_mapping); }

    // Whether |count| bytes may be touched now: within the mapping and,
    // for a memfd the peer could still shrink, within the object's current
    // size (touching mapped pages past it would raise SIGBUS). False with
    // an error line.
    bool accessible(uint64_t count) const;

    // Test recording state of an input buffer.
    uint64_t testReadOffset = 0;
    uint32_t bytesPerSecond = 0;   // 0: no pacing

private:
    int m_fd = -1;
    uint64_t m_length = 0;
    void *m_mapping = nullptr;
    bool m_sizeFixed = false;   // sealed memfd or ashmem: cannot shrink under us
};
