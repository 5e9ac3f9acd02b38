// A bridge between two HIDL service managers, in its own process: calls to
// the forwarded name on the source reach the object on the destination,
// and the name is withdrawn when that object dies.

#include <ferry/binder/client.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

#include "test_payload.h"
#include "vm_support.h"

#include <gtest/gtest.h>

using namespace ferry::binder;
using namespace ferry::binder::test;

namespace {

constexpr const char *kSource = "/dev/hwvororoveredi";
constexpr const char *kDestination = "/dev/hwbinder";

TEST(BinderBridge, RelaysCallsAndWithdrawsWhenTheDestinationDies)
{
    ChildProcess sourceManager({FERRY_SERVICEMANAGER, kSource, "hidl"});
    ChildProcess destinationManager({FERRY_SERVICEMANAGER, kDestination, "hidl"});
    ASSERT_TRUE(sourceManager.start());
    ASSERT_TRUE(destinationManager.start());
    ChildProcess bridge({FERRY_TEST_PEER, "bridge", kSource, kDestination, "bridged_novum", kEchoHidl11, kEchoHidl10});
    ASSERT_TRUE(bridge.start());
    auto sm = ServiceManager::get(kSource, Protocol::Hidl);
    ASSERT_TRUE(sm);
    ASSERT_TRUE(waitUntil([&] { return sm->isPresent(); }));
    const std::string name = std::string(kEchoHidl10) + "/bridged_novum";
    EXPECT_FALSE(sm->getServiceSync(name)) << "nothing to forward yet";

    // The destination object appears after the bridge started watching.
    auto peer = std::make_unique<ChildProcess>(
        std::vector<std::string> {FERRY_TEST_PEER, "serve", kDestination, "hidl", "bridged_novum"});
    ASSERT_TRUE(peer->start());
    std::shared_ptr<RemoteObject> forwarded;
    ASSERT_TRUE(waitUntil([&] {
        forwarded = sm->getServiceSync(name);
        if (!forwarded)
            spin(50);
        return forwarded != nullptr;
    }));
    Client client(forwarded, std::vector<Client::Range> {{kCallBack, kEchoHidl10}, {UINT32_MAX, kEchoHidl11}});

    LocalRequest raw = client.newRequest(kEchoRaw);
    size_t header = raw.writer().bytesWritten();
    raw.writer().appendInt64(0x1122334455667788ll);
    raw.writer().appendString16("relayed");
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client.transactSync(kEchoRaw, raw, &reply), kStatusOk);
    Reader r = reply->reader();
    std::vector<uint8_t> sent(raw.writer().data().begin() + header, raw.writer().data().end());
    EXPECT_EQ(std::vector<uint8_t>(r.data(), r.data() + r.size()), sent);

    // HIDL buffers and fds cross both ways; objects cannot cross devices.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "bridged", 7), 7);
    Payload payload = samplePayload();
    LocalRequest typed = client.newRequest(kEchoTyped);
    writePayload(typed.writer(), payload);
    typed.writer().appendNullObject();
    typed.writer().appendNullObject();
    typed.writer().appendFd(fds[0]);
    ASSERT_EQ(client.transactSync(kEchoTyped, typed, &reply), kStatusOk);
    r = reply->reader();
    Payload back;
    ASSERT_TRUE(readPayload(r, &back));
    EXPECT_TRUE(back == payload);
    std::shared_ptr<RemoteObject> object;
    EXPECT_TRUE(r.readObject(&object) && !object);
    EXPECT_TRUE(r.readObject(&object) && !object);
    int fd;
    ASSERT_TRUE(r.readFd(&fd));
    std::vector<uint8_t> seen;
    bool isNull;
    ASSERT_TRUE(r.readByteArray(&seen, &isNull));
    EXPECT_EQ(std::string(seen.begin(), seen.end()), "bridged");
    close(fds[0]);
    close(fds[1]);

    // The destination goes away: so does the forwarded name.
    peer->kill(SIGKILL);
    peer->wait();
    EXPECT_TRUE(waitUntil([&] {
        spin(50);
        return !sm->getServiceSync(name);
    })) << "withdrawn from the source";
    LocalRequest after = client.newRequest(kPid);
    EXPECT_NE(client.transactSync(kPid, after, &reply), kStatusOk);

    // And it comes back with the destination object.
    peer = std::make_unique<ChildProcess>(
        std::vector<std::string> {FERRY_TEST_PEER, "serve", kDestination, "hidl", "bridged_novum"});
    ASSERT_TRUE(peer->start());
    EXPECT_TRUE(waitUntil([&] {
        spin(50);
        return sm->getServiceSync(name) != nullptr;
    })) << "forwarded again";
}

} // namespace
