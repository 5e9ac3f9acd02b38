#include "record-buffer_p.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace naudio {

bool RecordBuffer::allocate(uint64_t capacity)
{
    release();
    if (capacity) {
        m_data.reset(new (std::nothrow) uint8_t[capacity]());
        if (!m_data)
            return false;
    }
    m_capacity = capacity;
    return true;
}

void RecordBuffer::release()
{
    m_data.reset();
    m_capacity = 0;
    clear();
}

void RecordBuffer::clear()
{
    m_fill = m_read = m_available = 0;
}

size_t RecordBuffer::take(uint8_t *dst, size_t want)
{
    const size_t n = static_cast<size_t>(std::min<uint64_t>(want, m_available));
    if (n) {
        memcpy(dst, m_data.get() + m_read, n);
        m_read += n;
        m_available -= n;
    }
    if (!m_available)
        m_fill = m_read = 0;
    return n;
}

RecordBuffer::Result RecordBuffer::consume(uint8_t *dst, size_t want, const void *fragment, size_t length, size_t *copied)
{
    const size_t n = std::min(want, length);
    if (n) {
        if (fragment)
            memcpy(dst, fragment, n);
        else
            memset(dst, 0, n);
    }
    *copied = n;
    const size_t rest = length - n;
    if (!rest)
        return Result::Ok;
    if (rest > m_capacity - m_fill) {
        clear();
        return Result::Overrun;
    }
    if (fragment)
        memcpy(m_data.get() + m_fill, static_cast<const uint8_t *>(fragment) + n, rest);
    else
        memset(m_data.get() + m_fill, 0, rest);
    m_fill += rest;
    m_available += rest;
    return Result::Ok;
}

} // namespace naudio
