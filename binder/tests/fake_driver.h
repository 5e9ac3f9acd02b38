#pragma once

// A binder driver for tests without one: it records every command a thread
// writes, lets a script react to them, and hands each thread the batches of
// return commands queued for it (loopers also take the process's queue, and
// so does the opening thread once it entered the looper and is in no
// transaction, as the kernel's does).

#include "driver_p.h"

#include <linux/android/binder.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ferry::binder::test {

struct Written {
    std::thread::id thread;
    uint32_t command;
    std::vector<uint8_t> payload;
};

// Return commands, appended one after the other.
struct Batch {
    std::vector<uint8_t> bytes;

    Batch &add(uint32_t command)
    {
        const uint8_t *c = reinterpret_cast<const uint8_t *>(&command);
        bytes.insert(bytes.end(), c, c + sizeof command);
        return *this;
    }
    template <typename T>
    Batch &add(uint32_t command, const T &payload)
    {
        add(command);
        const uint8_t *p = reinterpret_cast<const uint8_t *>(&payload);
        bytes.insert(bytes.end(), p, p + sizeof payload);
        return *this;
    }
};

class FakeDriver {
public:
    // Called for each command written, on the writing thread.
    using Script = std::function<void(const Written &)>;

    FakeDriver()
    {
        s_instance = this;
        driver::setTable(&s_table);
    }
    ~FakeDriver()
    {
        driver::setTable(nullptr);
        s_instance = nullptr;
    }

    void setScript(Script script)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_script = std::move(script);
    }

    void queue(std::thread::id thread, const Batch &batch)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_threadQueues[thread].push_back(batch.bytes);
            updateOwnerReadable();
        }
        m_condition.notify_all();
    }
    void queueToLoopers(const Batch &batch)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_processQueue.push_back(batch.bytes);
            updateOwnerReadable();
        }
        m_condition.notify_all();
    }

    // A transaction or reply whose data lies in the receiver's mapping.
    binder_transaction_data place(const std::vector<uint8_t> &data, const std::vector<uint64_t> &offsets = {})
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        binder_transaction_data tr {};
        tr.data_size = data.size();
        tr.offsets_size = offsets.size() * sizeof(uint64_t);
        tr.data.ptr.buffer = copyIn(data.data(), data.size());
        tr.data.ptr.offsets = copyIn(offsets.data(), tr.offsets_size);
        return tr;
    }

    std::vector<Written> written()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_written;
    }
    std::thread::id owner() const { return m_owner; }

private:
    bool ownerTakesProcessWork() const { return m_loopers.count(m_owner) && m_ownerDepth == 0; }

    // The device polls readable for the owner while it has work to read.
    void updateOwnerReadable()
    {
        auto mine = m_threadQueues.find(m_owner);
        bool readable = (mine != m_threadQueues.end() && !mine->second.empty())
            || (ownerTakesProcessWork() && !m_processQueue.empty());
        if (readable && !m_ownerSignalled) {
            uint64_t one = 1;
            (void)!::write(m_fd, &one, sizeof one);
        } else if (!readable && m_ownerSignalled) {
            uint64_t value;
            (void)!::read(m_fd, &value, sizeof value);
        }
        m_ownerSignalled = readable;
    }

    // How deep the owner is in transactions, from what it writes and reads.
    void trackOwnerDepth(const std::vector<uint8_t> &batch)
    {
        for (size_t pos = 0; pos + sizeof(uint32_t) <= batch.size();) {
            uint32_t command;
            memcpy(&command, batch.data() + pos, sizeof command);
            size_t size = _IOC_SIZE(command);
            if (command == BR_REPLY || command == BR_DEAD_REPLY || command == BR_FAILED_REPLY)
                m_ownerDepth = std::max(0, m_ownerDepth - 1);
            if ((command == BR_TRANSACTION || command == BR_TRANSACTION_SEC_CTX)
                && pos + sizeof command + sizeof(binder_transaction_data) <= batch.size()) {
                binder_transaction_data tr;
                memcpy(&tr, batch.data() + pos + sizeof command, sizeof tr);
                if (!(tr.flags & TF_ONE_WAY))
                    ++m_ownerDepth;
            }
            pos += sizeof command + size;
        }
    }

    uint64_t copyIn(const void *data, size_t size)
    {
        size_t start = m_mapUsed;
        if (start + size > sizeof m_map)
            start = m_mapUsed = 0;   // tests stay far below a wrap-around
        if (size)
            memcpy(m_map + start, data, size);
        m_mapUsed = (start + size + 7) & ~size_t(7);
        return reinterpret_cast<uint64_t>(m_map + start);
    }

    int writeRead(binder_write_read *bwr)
    {
        std::thread::id self = std::this_thread::get_id();
        const uint8_t *in = reinterpret_cast<const uint8_t *>(bwr->write_buffer);
        size_t pos = 0;
        while (pos + sizeof(uint32_t) <= bwr->write_size) {
            Written w;
            w.thread = self;
            memcpy(&w.command, in + pos, sizeof w.command);
            pos += sizeof w.command;
            size_t size = _IOC_SIZE(w.command);
            w.payload.assign(in + pos, in + pos + std::min(size, size_t(bwr->write_size - pos)));
            pos += size;
            Script script;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (w.command == BC_ENTER_LOOPER)
                    m_loopers.insert(self);
                if (self == m_owner && (w.command == BC_TRANSACTION || w.command == BC_TRANSACTION_SG)
                    && w.payload.size() >= sizeof(binder_transaction_data)) {
                    binder_transaction_data tr;
                    memcpy(&tr, w.payload.data(), sizeof tr);
                    if (!(tr.flags & TF_ONE_WAY))
                        ++m_ownerDepth;
                }
                if (self == m_owner && (w.command == BC_REPLY || w.command == BC_REPLY_SG))
                    m_ownerDepth = std::max(0, m_ownerDepth - 1);
                updateOwnerReadable();
                m_written.push_back(w);
                script = m_script;
            }
            if (script)
                script(w);
        }
        bwr->write_consumed = pos;
        bwr->read_consumed = 0;
        if (!bwr->read_size)
            return 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        unsigned generation = m_generation;
        bool owner = self == m_owner;
        std::deque<std::vector<uint8_t>> &mine = m_threadQueues[self];
        auto takesProcessWork = [&] { return owner ? ownerTakesProcessWork() : m_loopers.count(self) > 0; };
        m_condition.wait(lock, [&] {
            return !mine.empty() || (takesProcessWork() && !m_processQueue.empty()) || m_generation != generation;
        });
        std::deque<std::vector<uint8_t>> &from = !mine.empty() ? mine : m_processQueue;
        if (from.empty())
            return 0;   // woken
        std::vector<uint8_t> batch = std::move(from.front());
        from.pop_front();
        size_t n = std::min(batch.size(), size_t(bwr->read_size));
        memcpy(reinterpret_cast<void *>(bwr->read_buffer), batch.data(), n);
        bwr->read_consumed = n;
        if (owner)
            trackOwnerDepth(batch);
        // A looper may have taken what the owner's poll would report.
        updateOwnerReadable();
        return 0;
    }

    static int fakeOpen(const char *)
    {
        FakeDriver *d = s_instance;
        std::lock_guard<std::mutex> lock(d->m_mutex);
        // An eventfd stands for the device: readable while the opening
        // thread has commands to read, which is what its poll asks.
        d->m_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        d->m_owner = std::this_thread::get_id();
        return d->m_fd;
    }
    static int fakeIoctl(int, unsigned long request, void *arg)
    {
        switch (request) {
        case BINDER_VERSION:
            static_cast<binder_version *>(arg)->protocol_version = BINDER_CURRENT_PROTOCOL_VERSION;
            return 0;
        case BINDER_WRITE_READ:
            return s_instance->writeRead(static_cast<binder_write_read *>(arg));
        default:
            return 0;
        }
    }
    static void *fakeMmap(int, size_t) { return s_instance->m_map; }
    static void fakeMunmap(void *, size_t) {}
    static int fakePoll(struct pollfd *fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); }
    static void fakeClose(int fd) { ::close(fd); }
    static void fakeWakeAll(int)
    {
        FakeDriver *d = s_instance;
        {
            std::lock_guard<std::mutex> lock(d->m_mutex);
            ++d->m_generation;
        }
        d->m_condition.notify_all();
    }

    static inline FakeDriver *s_instance = nullptr;
    static inline const driver::Table s_table = {fakeOpen, fakeIoctl, fakeMmap, fakeMunmap,
                                                 fakePoll, fakeClose, fakeWakeAll};

    std::mutex m_mutex;
    std::condition_variable m_condition;
    Script m_script;
    int m_fd = -1;
    std::thread::id m_owner;
    std::set<std::thread::id> m_loopers;
    int m_ownerDepth = 0;
    bool m_ownerSignalled = false;
    std::map<std::thread::id, std::deque<std::vector<uint8_t>>> m_threadQueues;
    std::deque<std::vector<uint8_t>> m_processQueue;
    std::vector<Written> m_written;
    unsigned m_generation = 0;
    alignas(8) uint8_t m_map[256 * 1024];
    size_t m_mapUsed = 0;
};

} // namespace ferry::binder::test
