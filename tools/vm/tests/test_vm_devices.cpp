#include <fcntl.h>
#include <linux/android/binder.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

class VmDevice : public ::testing::TestWithParam<const char *> {};

TEST_P(VmDevice, OpensAnswersVersionAndMaps)
{
    const char *path = GetParam();
    struct stat st {};
    ASSERT_EQ(stat(path, &st), 0) << path;
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0666, 0666u) << "devices are open to every user in the guest";

    int fd = open(path, O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0) << path;
    binder_version version {};
    ASSERT_EQ(ioctl(fd, BINDER_VERSION, &version), 0);
    EXPECT_EQ(version.protocol_version, BINDER_CURRENT_PROTOCOL_VERSION);
    EXPECT_EQ(version.protocol_version, 8);

    const size_t size = 1024 * 1024 - 2 * sysconf(_SC_PAGESIZE);
    void *map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_NORESERVE, fd, 0);
    EXPECT_NE(map, MAP_FAILED);
    if (map != MAP_FAILED)
        munmap(map, size);
    close(fd);
}

INSTANTIATE_TEST_SUITE_P(AllDevices, VmDevice,
                         ::testing::Values("/dev/vororoveredi", "/dev/hwvororoveredi",
                                           "/dev/vndvororoveredi", "/dev/hwbinder"));

} // namespace
