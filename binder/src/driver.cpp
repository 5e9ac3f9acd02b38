#include "driver_p.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace ferry::binder::driver {

namespace {

int kernelOpen(const char *device)
{
    int fd = ::open(device, O_RDWR | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int kernelIoctl(int fd, unsigned long request, void *arg)
{
    return ::ioctl(fd, request, arg) >= 0 ? 0 : -errno;
}

void *kernelMmap(int fd, size_t size)
{
    void *address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_NORESERVE, fd, 0);
    return address == MAP_FAILED ? nullptr : address;
}

void kernelMunmap(void *address, size_t size)
{
    if (address)
        ::munmap(address, size);
}

int kernelPoll(struct pollfd *fds, nfds_t count, int timeoutMs)
{
    return ::poll(fds, count, timeoutMs);
}

void kernelClose(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

void kernelWakeAll(int fd)
{
    // The driver's flush, run when any fd of the open file is closed,
    // makes every blocked thread return from its read.
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0)
        ::close(copy);
}

const Table kKernel = {kernelOpen, kernelIoctl, kernelMmap, kernelMunmap, kernelPoll, kernelClose, kernelWakeAll};
std::atomic<const Table *> current {&kKernel};

} // namespace

const Table &kernel()
{
    return kKernel;
}

void setTable(const Table *table)
{
    current = table ? table : &kKernel;
}

int open(const char *device)
{
    return current.load()->open(device);
}

namespace {
thread_local unsigned long t_ioctls = 0;
}

unsigned long threadIoctls()
{
    return t_ioctls;
}

int ioctl(int fd, unsigned long request, void *arg)
{
    ++t_ioctls;
    for (;;) {
        int rc = current.load()->ioctl(fd, request, arg);
        if (rc != -EINTR)
            return rc;
    }
}

void *mmap(int fd, size_t size)
{
    return current.load()->mmap(fd, size);
}

void munmap(void *address, size_t size)
{
    current.load()->munmap(address, size);
}

int poll(struct pollfd *fds, nfds_t count, int timeoutMs)
{
    for (;;) {
        int n = current.load()->poll(fds, count, timeoutMs);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

void close(int fd)
{
    current.load()->close(fd);
}

void wakeAll(int fd)
{
    current.load()->wakeAll(fd);
}

} // namespace ferry::binder::driver
