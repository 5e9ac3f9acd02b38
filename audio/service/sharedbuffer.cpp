#include "sharedbuffer.h"

#include "servicelog_p.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef F_SEAL_SHRINK
#define F_ADD_SEALS 1033
#define F_GET_SEALS 1034
#define F_SEAL_SHRINK 0x0002
#endif

// Android's ashmem driver: the size of the region.
#define FERRY_ASHMEM_GET_SIZE _IO(0x77, 4)

namespace {

std::string fdTarget(int fd)
{
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, size_t(n)) : std::string();
}

bool startsWith(const std::string &s, const char *prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// The size of the shared object behind |fd|, -1 for a descriptor of any
// other kind. *fixed tells whether it can no longer shrink.
int64_t sharedObjectSize(int fd, bool *fixed, const char **kind)
{
    struct stat st {};
    if (fstat(fd, &st) != 0)
        return -1;
    const std::string target = fdTarget(fd);
    if (S_ISREG(st.st_mode) && startsWith(target, "/memfd:")) {
        *kind = "memfd";
        // Seal it against shrinking where the creator allowed sealing; the
        // HAL never shrinks its buffer, so this takes nothing from it.
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK);
        const int seals = fcntl(fd, F_GET_SEALS);
        *fixed = seals >= 0 && (seals & F_SEAL_SHRINK);
        return st.st_size;
    }
    if (S_ISCHR(st.st_mode) && startsWith(target, "/dev/ashmem")) {
        *kind = "ashmem";
        // Its size cannot change once it has been mapped.
        *fixed = true;
        const int size = ioctl(fd, FERRY_ASHMEM_GET_SIZE, nullptr);
        return size < 0 ? -1 : size;
    }
    return -1;
}

} // namespace

bool SharedBuffer::acceptable(int fd, int64_t size, bool *fixed)
{
    if (fd < 0) {
        SERVICE_ERR("No shared buffer descriptor");
        return false;
    }
    if (size <= 0 || uint64_t(size) > kMaxSize) {
        SERVICE_ERR("Refusing shared buffer fd %d of size %lld", fd, static_cast<long long>(size));
        return false;
    }
    const char *kind = "";
    const int64_t objectSize = sharedObjectSize(fd, fixed, &kind);
    if (objectSize < 0) {
        SERVICE_ERR("Refusing shared buffer fd %d: neither memfd nor ashmem", fd);
        return false;
    }
    if (size > objectSize) {
        SERVICE_ERR("Refusing shared buffer fd %d: size %lld exceeds its %s of %lld bytes", fd,
                    static_cast<long long>(size), kind, static_cast<long long>(objectSize));
        return false;
    }
    return true;
}

bool SharedBuffer::map(int fd, int64_t size)
{
    unmap();
    bool fixed = false;
    if (!acceptable(fd, size, &fixed))
        return false;
    const int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) {
        SERVICE_ERR("Failed to mmap() fd %d", fd);
        return false;
    }
    void *mapping = mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, own, 0);
    if (mapping == MAP_FAILED) {
        SERVICE_ERR("Failed to mmap() fd %d", own);
        close(own);
        return false;
    }
    m_fd = own;
    m_length = uint64_t(size);
    m_mapping = mapping;
    m_sizeFixed = fixed;
    testReadOffset = 0;
    bytesPerSecond = 0;
    SERVICE_INFO("Shared buffer fd %d (%p) size %lu", m_fd, m_mapping, static_cast<unsigned long>(m_length));
    return true;
}

void SharedBuffer::unmap()
{
    if (m_mapping && munmap(m_mapping, m_length) != 0)
        SERVICE_ERR("Failed to call munmap for %p", m_mapping);
    if (m_fd >= 0 && close(m_fd) != 0)
        SERVICE_ERR("Failed to close fd %d", m_fd);
    m_fd = -1;
    m_length = 0;
    m_mapping = nullptr;
    m_sizeFixed = false;
    testReadOffset = 0;
    bytesPerSecond = 0;
}

bool SharedBuffer::accessible(uint64_t count) const
{
    if (!isMapped()) {
        SERVICE_ERR("No shared buffer");
        return false;
    }
    if (count > m_length) {
        SERVICE_ERR("Byte count %lu exceeds the shared buffer of %lu bytes", static_cast<unsigned long>(count),
                    static_cast<unsigned long>(m_length));
        return false;
    }
    if (!m_sizeFixed) {
        struct stat st {};
        if (fstat(m_fd, &st) != 0 || uint64_t(st.st_size) < count) {
            SERVICE_ERR("Shared buffer fd %d shrank to %lld bytes", m_fd, static_cast<long long>(st.st_size));
            return false;
        }
    }
    return true;
}
