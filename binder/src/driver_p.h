#pragma once

#include <poll.h>

#include <cstddef>

// The one place where this library touches a binder device. Everything
// that opens, maps, polls, controls or closes a device fd goes through
// these functions, which call through a table that a test can replace with
// a fake driver.

namespace ferry::binder::driver {

struct Table {
    int (*open)(const char *device);                         // fd or -errno
    int (*ioctl)(int fd, unsigned long request, void *arg);  // 0 or -errno
    void *(*mmap)(int fd, size_t size);                      // nullptr on failure
    void (*munmap)(void *address, size_t size);
    int (*poll)(struct pollfd *fds, nfds_t count, int timeoutMs);
    void (*close)(int fd);
    void (*wakeAll)(int fd);
};

// The kernel's driver.
const Table &kernel();
// Use |table| from now on (nullptr: the kernel's). Only while no Ipc is open.
void setTable(const Table *table);

int open(const char *device);
int ioctl(int fd, unsigned long request, void *arg);  // retries EINTR
// How many ioctl calls this thread made so far.
unsigned long threadIoctls();
void *mmap(int fd, size_t size);
void munmap(void *address, size_t size);
int poll(struct pollfd *fds, nfds_t count, int timeoutMs);  // as poll(2), retries EINTR
void close(int fd);
// Wake every thread blocked reading |fd| (closing a duplicate flushes it).
void wakeAll(int fd);

} // namespace ferry::binder::driver
