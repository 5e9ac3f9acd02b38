#pragma once

#include <poll.h>

#include <cstddef>

// The one place where this library touches a binder device. Everything
// that opens, maps, polls, controls or closes a device fd goes through
// these functions, so that tests can observe or replace the kernel here.

namespace ferry::binder::driver {

int open(const char *device);                         // fd or -errno
int ioctl(int fd, unsigned long request, void *arg);  // 0 or -errno; retries EINTR
void *mmap(int fd, size_t size);                      // nullptr on failure
void munmap(void *address, size_t size);
int poll(struct pollfd *fds, nfds_t count, int timeoutMs);  // as poll(2), retries EINTR
void close(int fd);
// Wake every thread blocked reading |fd| (closing a duplicate flushes it).
void wakeAll(int fd);

} // namespace ferry::binder::driver
