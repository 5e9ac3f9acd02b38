// Which protocol a device speaks, and the request headers of each.

#include <ferry/binder/local_request.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/reader.h>

#include "rpc_protocol_p.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

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
