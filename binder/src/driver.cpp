#include "driver_p.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace ferry::binder::driver {

int open(const char *device)
{
    int fd = ::open(device, O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int ioctl(int fd, unsigned long request, void *arg)
{
    for (;;) {
        if (::ioctl(fd, request, arg) >= 0)
            return 0;
        if (errno != EINTR)
            return -errno;
    }
}

void *mmap(int fd, size_t size)
{
    void *address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_NORESERVE, fd, 0);
    return address == MAP_FAILED ? nullptr : address;
}

void munmap(void *address, size_t size)
{
    if (address)
        ::munmap(address, size);
}

int poll(struct pollfd *fds, nfds_t count, int timeoutMs)
{
    for (;;) {
        int n = ::poll(fds, count, timeoutMs);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

void close(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

void wakeAll(int fd)
{
    // The driver's flush, run when any fd of the open file is closed,
    // makes every blocked thread return from its read.
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        ::close(copy);
}

} // namespace ferry::binder::driver
