// What the service accepts as a shared audio buffer, and when it still may
// touch it.
#include "sharedbuffer.h"

#include <audiolog/audiolog.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int memfd(off_t size, bool sealable = true)
{
    const int fd = memfd_create("test-buffer", MFD_CLOEXEC | (sealable ? MFD_ALLOW_SEALING : 0));
    if (fd >= 0 && ftruncate(fd, size) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

struct Quiet {
    Quiet() { audiolog_set_default_level(AUDIOLOG_LEVEL_NONE); }
    ~Quiet() { audiolog_set_default_level(AUDIOLOG_LEVEL_DEFAULT); }
};

TEST(SharedBuffer, RefusesWhatItCannotMapSafely)
{
    Quiet quiet;
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    const int file = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const int small = memfd(4096);
    const int huge = memfd(off_t(SharedBuffer::kMaxSize) + 4096);
    struct Case {
        const char *what;
        int fd;
        int64_t size;
    } cases[] = {
        {"no descriptor", -1, 4096},
        {"size 0", small, 0},
        {"negative size", small, -4},
        {"size beyond the memfd", small, 4097},
        {"size beyond the limit", huge, int64_t(SharedBuffer::kMaxSize) + 1},
        {"pipe", pipeFds[0], 16},
        {"regular file", file, 16},
        {"character device other than ashmem", devNull, 16},
    };
    for (const Case &c : cases) {
        SharedBuffer buffer;
        EXPECT_FALSE(buffer.map(c.fd, c.size)) << c.what;
        EXPECT_FALSE(buffer.isMapped()) << c.what;
    }
    for (int fd : {pipeFds[0], pipeFds[1], file, devNull, small, huge})
        close(fd);
}

TEST(SharedBuffer, MapsAMemfdAndSharesItsBytes)
{
    const int fd = memfd(4096);
    ASSERT_GE(fd, 0);
    SharedBuffer buffer;
    ASSERT_TRUE(buffer.map(fd, 1000));
    EXPECT_EQ(buffer.length(), 1000u);
    EXPECT_NE(buffer.fd(), fd);   // a copy of its own
    close(fd);                    // the peer may let go at once
    buffer.data()[999] = 42;
    EXPECT_TRUE(buffer.accessible(1000));
    EXPECT_FALSE(buffer.accessible(1001));
    buffer.unmap();
    EXPECT_FALSE(buffer.isMapped());
    EXPECT_FALSE(buffer.accessible(1));
}

TEST(SharedBuffer, APeerCannotShrinkTheBufferUnderIt)
{
    Quiet quiet;
    // Sealable: the service seals it, shrinking fails.
    const int sealable = memfd(8192);
    SharedBuffer sealed;
    ASSERT_TRUE(sealed.map(sealable, 8192));
    EXPECT_NE(ftruncate(sealable, 0), 0);
    EXPECT_TRUE(sealed.accessible(8192));
    close(sealable);

    // Not sealable: every access checks the size first.
    const int plain = memfd(8192, false);
    SharedBuffer checked;
    ASSERT_TRUE(checked.map(plain, 8192));
    ASSERT_EQ(ftruncate(plain, 100), 0);
    EXPECT_TRUE(checked.accessible(100));
    EXPECT_FALSE(checked.accessible(101));
    close(plain);
}

} // namespace
