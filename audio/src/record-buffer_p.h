/*
 * What a record read could not take of a PulseAudio fragment, kept for the
 * next read. Fixed capacity; a remainder that does not fit empties it.
 */
#ifndef NAUDIO_RECORD_BUFFER_P_H
#define NAUDIO_RECORD_BUFFER_P_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace naudio {

class RecordBuffer {
public:
    enum class Result { Ok, Overrun };

    // Zeroed storage of `capacity` bytes; false when it cannot be had.
    bool allocate(uint64_t capacity);
    void release();
    void clear();

    uint64_t capacity() const { return m_capacity; }
    uint64_t available() const { return m_available; }
    uint64_t fillOffset() const { return m_fill; }
    uint64_t readOffset() const { return m_read; }

    // Moves up to `want` stored bytes into `dst`; answers how many.
    size_t take(uint8_t *dst, size_t want);

    // Copies min(want, length) bytes of a fragment into `dst` (`fragment`
    // may be null: a hole, which reads as silence) and keeps the rest.
    // Overrun when the rest does not fit: the buffer is emptied and the
    // caller answers silence. `copied` gets the bytes written to `dst`.
    Result consume(uint8_t *dst, size_t want, const void *fragment, size_t length, size_t *copied);

private:
    std::unique_ptr<uint8_t[]> m_data;
    uint64_t m_capacity = 0;
    uint64_t m_fill = 0;
    uint64_t m_read = 0;
    uint64_t m_available = 0;
};

} // namespace naudio

#endif
