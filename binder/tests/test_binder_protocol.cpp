// Which protocol a device speaks, and the request headers of each.

#include <ferry/binder/local_request.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/reader.h>

#include "rpc_protocol_p.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

using namespace ferry::binder;

namespace {

class BuildProp : public ::testing::Test {
protected:
    void TearDown() override
    {
        unsetenv("FERRY_BUILD_PROP");
        std::remove(m_path.c_str());
    }
    void write(const std::string &content)
    {
        std::ofstream(m_path) << content;
        setenv("FERRY_BUILD_PROP", m_path.c_str(), 1);
    }
    std::string m_path = ::testing::TempDir() + "ferry-binder-build.prop";
};

TEST_F(BuildProp, SdkLevelChoosesTheAidlVariant)
{
    write("ro.build.version.release=9\nro.build.version.sdk=28\n");
    EXPECT_EQ(runtimeSdkLevel(), 28);
    EXPECT_EQ(protocolForDevice("/dev/vororoveredi"), Protocol::Aidl28);
    EXPECT_EQ(protocolForDevice("/dev/vndvororoveredi"), Protocol::Aidl28);
    EXPECT_EQ(protocolForDevice("/dev/hwvororoveredi"), Protocol::Hidl);
    EXPECT_EQ(protocolForDevice("/dev/hwbinder"), Protocol::Hidl);
    write("ro.build.version.sdk=29\r\n");
    EXPECT_EQ(protocolForDevice("/dev/vororoveredi"), Protocol::Aidl29);
    write("# comment\nro.build.version.sdk=27");
    EXPECT_EQ(protocolForDevice("/dev/vororoveredi"), Protocol::Aidl27);
}

TEST_F(BuildProp, UnreadableOrBogusLevelFallsBackToSdk28)
{
    write("ro.build.version.sdk=twenty\n");
    EXPECT_EQ(runtimeSdkLevel(), 0);
    EXPECT_EQ(protocolForDevice("/dev/vororoveredi"), Protocol::Aidl28);
    write("ro.build.version.sdk=-3\n");
    EXPECT_EQ(runtimeSdkLevel(), 0);
    setenv("FERRY_BUILD_PROP", "/nonexistent/build.prop", 1);
    EXPECT_EQ(runtimeSdkLevel(), 0);
    EXPECT_EQ(protocolForDevice("/dev/vororoveredi"), Protocol::Aidl28);
}

TEST(BinderProtocol, SdkLevelsAndNames)
{
    EXPECT_EQ(aidlProtocolForSdk(26), Protocol::Aidl27);
    EXPECT_EQ(aidlProtocolForSdk(27), Protocol::Aidl27);
    EXPECT_EQ(aidlProtocolForSdk(28), Protocol::Aidl28);
    EXPECT_EQ(aidlProtocolForSdk(29), Protocol::Aidl29);
    EXPECT_EQ(aidlProtocolForSdk(33), Protocol::Aidl29);
    for (Protocol p : {Protocol::Aidl27, Protocol::Aidl28, Protocol::Aidl29, Protocol::Hidl}) {
        Protocol parsed;
        ASSERT_TRUE(parseProtocol(protocolName(p), &parsed));
        EXPECT_EQ(parsed, p);
    }
    Protocol unused;
    EXPECT_FALSE(parseProtocol("aidl30", &unused));
    EXPECT_FALSE(parseProtocol("", &unused));
}

// What the library logs on standard error while |f| runs.
std::string stderrOf(const std::function<void()> &f)
{
    std::string path = ::testing::TempDir() + "ferry-binder-stderr";
    fflush(stderr);
    int saved = dup(2);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
    f();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    return text;
}

size_t countOf(const std::string &text, const std::string &needle)
{
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

// Android 11 and later refuse the SDK 29 header: an unsupported level is
// said loudly, once, and the nearest header is still used.
TEST_F(BuildProp, UnsupportedSdkLevelIsReportedOnce)
{
    struct Case {
        int sdk;
        Protocol protocol;
        size_t messages;
    };
    const Case cases[] = {{27, Protocol::Aidl27, 0}, {28, Protocol::Aidl28, 0}, {29, Protocol::Aidl29, 0},
                          {30, Protocol::Aidl29, 1}, {34, Protocol::Aidl29, 1}, {25, Protocol::Aidl27, 1}};
    for (const Case &c : cases) {
        std::string level = "SDK level " + std::to_string(c.sdk) + " ";
        std::string log = stderrOf([&] {
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(aidlProtocolForSdk(c.sdk), c.protocol) << c.sdk;
            write("ro.build.version.sdk=" + std::to_string(c.sdk) + "\n");
            EXPECT_EQ(protocolForDevice("/dev/vororoveredi"), c.protocol) << c.sdk;
            EXPECT_EQ(protocolForDevice("/dev/vndvororoveredi"), c.protocol) << c.sdk;
        });
        EXPECT_EQ(countOf(log, level), c.messages) << log;
        if (c.messages) {
            EXPECT_NE(log.find("ERROR: unsupported Android " + level), std::string::npos) << log;
        }
    }
}

TEST(BinderProtocol, RequestHeadersOfEachVariant)
{
    struct Case {
        Protocol protocol;
        std::vector<uint8_t> expected;
    };
    const std::vector<uint8_t> policy = {0, 0, 0x40, 0};
    std::vector<uint8_t> iface16 = {2, 0, 0, 0, 'I', 0, 'x', 0, 0, 0, 0, 0};
    std::vector<uint8_t> aidl27 = policy;
    aidl27.insert(aidl27.end(), iface16.begin(), iface16.end());
    std::vector<uint8_t> aidl29 = policy;
    aidl29.insert(aidl29.end(), {0xff, 0xff, 0xff, 0xff});
    aidl29.insert(aidl29.end(), iface16.begin(), iface16.end());
    const Case cases[] = {
        {Protocol::Aidl27, aidl27},
        {Protocol::Aidl28, aidl27},
        {Protocol::Aidl29, aidl29},
        {Protocol::Hidl, {'I', 'x', 0, 0}},
    };
    for (const Case &c : cases) {
        LocalRequest request(c.protocol, "Ix");
        EXPECT_EQ(request.writer().data(), c.expected) << protocolName(c.protocol);
        request.writer().appendInt32(77);
        Reader r(request.writer().data().data(), request.writer().data().size());
        std::string interface;
        ASSERT_TRUE(RpcProtocol::forProtocol(c.protocol).readHeader(r, &interface));
        EXPECT_EQ(interface, "Ix");
        int32_t value;
        ASSERT_TRUE(r.readInt32(&value));
        EXPECT_EQ(value, 77);
        // A header cut inside its terminator is refused and the reader stays where it was.
        Reader cut(request.writer().data().data(), c.expected.size() - 3);
        EXPECT_FALSE(RpcProtocol::forProtocol(c.protocol).readHeader(cut, &interface));
        EXPECT_EQ(cut.position(), 0u);
    }
    LocalRequest none(Protocol::Aidl28, "");
    EXPECT_TRUE(none.writer().data().empty()) << "no interface, no header (pings)";
}

} // namespace
