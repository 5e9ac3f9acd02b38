// A bridge between two HIDL service managers, in its own process: calls to
// the forwarded name on the source reach the object on the destination,
// and the name is withdrawn when that object dies. Fds, fd arrays and
// objects cross it both ways.

#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

#include "test_payload.h"
#include "vm_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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

    // HIDL buffers, null objects and fds cross both ways.
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

// A bridge with the echo peer behind it, reached from the source side.
class BinderBridgeObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sourceManager.start());
        ASSERT_TRUE(destinationManager.start());
        ASSERT_TRUE(bridge.start());
        ASSERT_TRUE(peer.start());
        sm = ServiceManager::get(kSource, Protocol::Hidl);
        ASSERT_TRUE(sm);
        std::shared_ptr<RemoteObject> forwarded;
        ASSERT_TRUE(waitUntil([&] {
            forwarded = sm->isPresent() ? sm->getServiceSync(std::string(kEchoHidl10) + "/objects_novum") : nullptr;
            if (!forwarded)
                spin(50);
            return forwarded != nullptr;
        }));
        echo = std::make_unique<Client>(forwarded, kEchoHidl10);
    }

    Status call(uint32_t code, const std::function<void(Writer &)> &write, std::unique_ptr<RemoteReply> *reply)
    {
        LocalRequest request = echo->newRequest(code);
        if (write)
            write(request.writer());
        return echo->transactSync(code, request, reply);
    }

    int32_t liveObjectsOfThePeer()
    {
        std::unique_ptr<RemoteReply> reply;
        int32_t live = -1;
        if (call(kLiveObjects, nullptr, &reply) == kStatusOk)
            reply->reader().readInt32(&live);
        return live;
    }

    static int fdCount(pid_t pid)
    {
        int count = 0;
        if (DIR *dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
            while (struct dirent *e = readdir(dir))
                count += e->d_name[0] != '.';
            closedir(dir);
        }
        return count;
    }

    ChildProcess sourceManager {{FERRY_SERVICEMANAGER, kSource, "hidl"}};
    ChildProcess destinationManager {{FERRY_SERVICEMANAGER, kDestination, "hidl"}};
    ChildProcess bridge {{FERRY_TEST_PEER, "bridge", kSource, kDestination, "objects_novum", kEchoHidl11, kEchoHidl10}};
    ChildProcess peer {{FERRY_TEST_PEER, "serve", kDestination, "hidl", "objects_novum"}};
    std::shared_ptr<ServiceManager> sm;
    std::unique_ptr<Client> echo;
};

// An allocator's reply carries native handles: fd arrays inside HIDL
// buffers, whose fds belong to the buffer. The bridge passes copies on and
// keeps none of them.
TEST_F(BinderBridgeObjects, FdArraysArriveAsOpenCopiesAndNothingLeaks)
{
    struct stat null;
    ASSERT_EQ(stat("/dev/null", &null), 0);
    spin(100);
    int bridgeFds = fdCount(bridge.pid());
    int ownFds = openFdCount();
    for (int32_t n : {0, 1, 3, 16, 3}) {
        std::unique_ptr<RemoteReply> reply;
        ASSERT_EQ(call(kFdArray, [n](Writer &w) { w.appendInt32(n); }, &reply), kStatusOk) << n;
        Reader r = reply->reader();
        int32_t zero;
        const void *buffer;
        size_t size;
        ASSERT_TRUE(r.readInt32(&zero) && r.readBufferObject(&buffer, &size)) << n;
        ASSERT_EQ(size, n * sizeof(int32_t));
        EXPECT_EQ(r.objectCount(), 2u);
        for (int32_t i = 0; i < n; ++i) {
            int32_t fd;
            memcpy(&fd, static_cast<const uint8_t *>(buffer) + i * sizeof fd, sizeof fd);
            struct stat st;
            ASSERT_EQ(fstat(fd, &st), 0) << "fd " << i << " of " << n;
            EXPECT_EQ(st.st_rdev, null.st_rdev);
        }
    }
    spin(100);
    EXPECT_EQ(fdCount(bridge.pid()), bridgeFds) << "the bridge keeps no fd";
    EXPECT_EQ(openFdCount(), ownFds) << "released replies close their fds";
}

TEST_F(BinderBridgeObjects, ObjectsCrossBothWaysAsStandInsThatLiveAsLongAsTheirHolders)
{
    // Ours in a request: the peer calls it back through the bridge.
    std::vector<int32_t> seen;
    auto callback = LocalObject::create(sm->ipc(), kCallbackHidl,
                                        [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *reply) {
                                            int32_t x;
                                            if (!reply || !req.reader().readInt32(&x))
                                                return kStatusFailed;
                                            seen.push_back(x);
                                            reply->writer().appendInt32(x * 2);
                                            return kStatusOk;
                                        });
    std::weak_ptr<LocalObject> weakCallback = callback;
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(call(kCallBack, [&](Writer &w) {
                  w.appendLocalObject(callback);
                  w.appendInt32(20);
              }, &reply), kStatusOk);
    int32_t y = 0;
    EXPECT_TRUE(reply->reader().readInt32(&y));
    EXPECT_EQ(y, 41);
    EXPECT_EQ(seen, std::vector<int32_t> {20});

    // Coming back, our object is ours again, not a stand-in of a stand-in.
    ASSERT_EQ(call(kEchoObjects, [&](Writer &w) {
                  w.appendLocalObject(callback);
                  w.appendFd(0);
              }, &reply), kStatusOk);
    std::shared_ptr<LocalObject> back;
    EXPECT_TRUE(reply->reader().readLocalObject(&back));
    EXPECT_EQ(back, callback);
    back.reset();
    reply.reset();

    // Nobody holds the stand-in any more, so the bridge lets ours go.
    callback.reset();
    EXPECT_TRUE(waitUntil([&] { return weakCallback.expired(); })) << "the bridge still holds our object";

    // The peer's in a reply: callable here, one stand-in per object.
    ASSERT_EQ(call(kNewObject, nullptr, &reply), kStatusOk);
    std::shared_ptr<RemoteObject> made;
    ASSERT_TRUE(reply->reader().readObject(&made) && made);
    {
        Client madeClient(made, kEchoHidl10);
        LocalRequest pidRequest = madeClient.newRequest(kPid);
        std::unique_ptr<RemoteReply> pidReply;
        ASSERT_EQ(madeClient.transactSync(kPid, pidRequest, &pidReply), kStatusOk);
        int32_t pid = 0;
        EXPECT_TRUE(pidReply->reader().readInt32(&pid));
        EXPECT_EQ(pid, peer.pid());
    }
    EXPECT_EQ(made->ping(), kStatusOk);
    ASSERT_EQ(call(kEchoObjects, [&](Writer &w) {
                  w.appendRemoteObject(made);
                  w.appendFd(0);
              }, &reply), kStatusOk);
    std::shared_ptr<RemoteObject> again;
    EXPECT_TRUE(reply->reader().readObject(&again));
    EXPECT_EQ(again, made) << "the same object passed twice is the same stand-in";
    EXPECT_EQ(liveObjectsOfThePeer(), 1);
    again.reset();
    reply.reset();
    made.reset();
    EXPECT_TRUE(waitUntil([&] { return liveObjectsOfThePeer() == 0; })) << "the stand-in still holds the peer's object";

    // Its owner dies: the stand-in is dropped and calls on it fail.
    ASSERT_EQ(call(kNewObject, nullptr, &reply), kStatusOk);
    ASSERT_TRUE(reply->reader().readObject(&made) && made);
    reply.reset();
    peer.kill(SIGKILL);
    peer.wait();
    spin(200);
    EXPECT_NE(made->ping(), kStatusOk);
}

// Objects in a reply from the source's side reach the destination as
// stand-ins the peer can call; a parcel with more objects than a bridge
// keeps stand-ins for is refused whole rather than growing it without end.
TEST_F(BinderBridgeObjects, ObjectsInRepliesCrossUpToTheBound)
{
    auto factory = LocalObject::create(sm->ipc(), kCallbackHidl,
                                       [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *reply) {
                                           int32_t n;
                                           if (!reply || !req.reader().readInt32(&n))
                                               return kStatusFailed;
                                           for (int32_t i = 0; i < n; ++i)
                                               reply->writer().appendLocalObject(
                                                   LocalObject::create(sm->ipc(), kCallbackHidl, nullptr));
                                           return kStatusOk;
                                       });
    const struct {
        int32_t objects;
        bool relayed;
    } cases[] = {{16, true}, {1025, false}, {3, true}};
    for (const auto &c : cases) {
        std::unique_ptr<RemoteReply> reply;
        Status status = call(kManyObjects, [&](Writer &w) {
            w.appendLocalObject(factory);
            w.appendInt32(c.objects);
        }, &reply);
        EXPECT_EQ(status == kStatusOk, c.relayed) << c.objects << ": " << status;
        int32_t alive = 0;
        if (status == kStatusOk)
            EXPECT_TRUE(reply->reader().readInt32(&alive));
        EXPECT_EQ(alive, c.relayed ? c.objects : 0) << c.objects;
    }
}

} // namespace
