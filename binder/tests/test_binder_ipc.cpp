// Two processes on a real binder device: calls, objects, fds, deaths,
// watches, blocked requests and service manager restarts, on an AIDL
// framework device, an AIDL vendor device and a HIDL device.

#include <ferry/binder/blocked_request.h>
#include <ferry/binder/client.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

#include "ipc_p.h"
#include "test_payload.h"
#include "vm_support.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/android/binder.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace ferry::binder;
using namespace ferry::binder::test;

namespace {

struct Kind {
    const char *label;
    const char *device;
    Protocol protocol;
};

Protocol voroProtocol()
{
    Protocol p = Protocol::Aidl28;
    const char *env = getenv("FERRY_TEST_VORO_PROTOCOL");
    if (env)
        parseProtocol(env, &p);
    return p;
}

class BinderIpc : public ::testing::TestWithParam<Kind> {
protected:
    bool hidl() const { return GetParam().protocol == Protocol::Hidl; }
    const char *device() const { return GetParam().device; }
    Protocol protocol() const { return GetParam().protocol; }

    // The name a peer registers, and the name it is looked up by.
    std::string registeredName(const std::string &base) const { return hidl() ? base + "_novum" : "ferry.test." + base; }
    std::string lookupName(const std::string &base) const
    {
        return hidl() ? std::string(kEchoHidl10) + "/" + registeredName(base) : registeredName(base);
    }

    std::unique_ptr<ChildProcess> startManager()
    {
        auto sm = std::make_unique<ChildProcess>(
            std::vector<std::string> {FERRY_SERVICEMANAGER, device(), protocolName(protocol())});
        EXPECT_TRUE(sm->start()) << "service manager on " << device();
        return sm;
    }

    std::unique_ptr<ChildProcess> startPeer(const std::string &base)
    {
        auto peer = std::make_unique<ChildProcess>(std::vector<std::string> {
            FERRY_TEST_PEER, "serve", device(), protocolName(protocol()), registeredName(base)});
        EXPECT_TRUE(peer->start()) << "peer " << base;
        return peer;
    }

    Client makeClient(const std::shared_ptr<RemoteObject> &remote) const
    {
        if (hidl())
            return Client(remote, std::vector<Client::Range> {{kCallBack, kEchoHidl10}, {UINT32_MAX, kEchoHidl11}});
        return Client(remote, kEchoAidl);
    }

    void SetUp() override
    {
        m_manager = startManager();
        sm = ServiceManager::get(device(), protocol());
        ASSERT_TRUE(sm);
        ASSERT_TRUE(waitUntil([&] { return sm->isPresent(); }));
        m_peer = startPeer("echo");
        echo = sm->getServiceSync(lookupName("echo"));
        ASSERT_TRUE(echo) << lookupName("echo");
        client = std::make_unique<Client>(makeClient(echo));
    }

    void TearDown() override
    {
        client.reset();
        echo.reset();
        m_peer.reset();
        m_manager.reset();
        sm.reset();
        spin(50);
    }

    LocalRequest request(uint32_t code) { return client->newRequest(code); }

    std::shared_ptr<LocalObject> newCallback(std::function<int32_t(int32_t)> f)
    {
        return LocalObject::create(sm->ipc(), hidl() ? kCallbackHidl : kCallbackAidl,
                                   [f](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *reply) -> Status {
                                       Reader r = req.reader();
                                       int32_t x;
                                       if (!reply || !r.readInt32(&x))
                                           return kStatusFailed;
                                       reply->writer().appendInt32(f(x));
                                       return kStatusOk;
                                   });
    }

    std::unique_ptr<ChildProcess> m_manager;
    std::unique_ptr<ChildProcess> m_peer;
    std::shared_ptr<ServiceManager> sm;
    std::shared_ptr<RemoteObject> echo;
    std::unique_ptr<Client> client;
};

TEST_P(BinderIpc, TwoWayCallsRoundTripEveryTypeByteExactly)
{
    for (size_t size : {0, 1, 3, 4, 5, 100, 4096}) {
        LocalRequest req = request(kEchoRaw);
        size_t header = req.writer().bytesWritten();
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(rand());
        req.writer().appendBytes(bytes.data(), bytes.size());
        std::unique_ptr<RemoteReply> reply;
        ASSERT_EQ(client->transactSync(kEchoRaw, req, &reply), kStatusOk) << size;
        Reader r = reply->reader();
        std::vector<uint8_t> sent(req.writer().data().begin() + header, req.writer().data().end());
        EXPECT_EQ(std::vector<uint8_t>(r.data(), r.data() + r.size()), sent) << size;
    }

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], "through the pipe", 16), 16);
    auto callback = newCallback([](int32_t x) { return x; });
    Payload sent = samplePayload();
    LocalRequest req = request(kEchoTyped);
    writePayload(req.writer(), sent);
    req.writer().appendLocalObject(callback);
    req.writer().appendNullObject();
    req.writer().appendFd(fds[0]);
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client->transactSync(kEchoTyped, req, &reply), kStatusOk);
    Reader r = reply->reader();
    Payload received;
    ASSERT_TRUE(readPayload(r, &received));
    EXPECT_TRUE(received == sent);
    std::shared_ptr<LocalObject> back;
    ASSERT_TRUE(r.readLocalObject(&back));
    EXPECT_EQ(back, callback) << "our own object comes home as itself";
    std::shared_ptr<RemoteObject> null;
    EXPECT_TRUE(r.readObject(&null));
    EXPECT_EQ(null, nullptr);
    int fd = -1;
    ASSERT_TRUE(r.readFd(&fd));
    std::vector<uint8_t> seen;
    bool isNull;
    ASSERT_TRUE(r.readByteArray(&seen, &isNull));
    EXPECT_EQ(std::string(seen.begin(), seen.end()), "through the pipe") << "the peer read our fd";
    EXPECT_TRUE(r.atEnd());
    ASSERT_EQ(write(fds[1], "again", 5), 5);
    char buffer[8] = {};
    EXPECT_EQ(read(fd, buffer, sizeof buffer), 5) << "the fd that came back is the same pipe";
    EXPECT_STREQ(buffer, "again");
    close(fds[0]);
    close(fds[1]);
}

TEST_P(BinderIpc, OnewayCallsArriveInOrderAndGetNoReply)
{
    const int count = 200;
    int64_t sum = 0;
    for (int i = 0; i < count; ++i) {
        LocalRequest req = request(kRecord);
        req.writer().appendInt32(i);
        sum += i;
        ASSERT_EQ(client->transactOneway(kRecord, req), kStatusOk);
    }
    // A later two-way call may overtake queued one-way calls: ask until all arrived.
    int32_t n = 0;
    int64_t total = 0;
    bool ordered = true;
    std::vector<int32_t> counts;
    ASSERT_TRUE(waitUntil([&] {
        LocalRequest req = request(kGetRecorded);
        std::unique_ptr<RemoteReply> reply;
        if (client->transactSync(kGetRecorded, req, &reply) != kStatusOk)
            return true;
        Reader r = reply->reader();
        int32_t got;
        int64_t part;
        bool inOrder;
        if (!r.readInt32(&got) || !r.readInt64(&part) || !r.readBool(&inOrder))
            return true;
        n += got;
        total += part;
        ordered = ordered && inOrder;
        if (got)
            counts.push_back(got);
        return n >= count;
    }));
    EXPECT_EQ(n, count);
    EXPECT_EQ(total, sum);
    EXPECT_TRUE(ordered);
}

TEST_P(BinderIpc, NestedCallIsServedWhileWaitingForTheReply)
{
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> onMainThread {false};
    auto callback = newCallback([&](int32_t x) {
        onMainThread = std::this_thread::get_id() == mainThread;
        return x * 2;
    });
    LocalRequest req = request(kCallBack);
    req.writer().appendLocalObject(callback);
    req.writer().appendInt32(20);
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client->transactSync(kCallBack, req, &reply), kStatusOk);
    int32_t result;
    Reader r = reply->reader();
    ASSERT_TRUE(r.readInt32(&result));
    EXPECT_EQ(result, 41);
    EXPECT_TRUE(onMainThread) << "handlers run on the thread owning the main context";

    // Deeper: our handler, served while we wait, calls the peer, which is
    // itself waiting for our handler.
    auto deeper = newCallback([&](int32_t x) {
        LocalRequest pid = request(kPid);
        std::unique_ptr<RemoteReply> answer;
        if (client->transactSync(kPid, pid, &answer) != kStatusOk)
            return -1000;
        int32_t p;
        Reader ar = answer->reader();
        return ar.readInt32(&p) && p > 0 ? x * 3 : -2000;
    });
    LocalRequest req2 = request(kCallBack);
    req2.writer().appendLocalObject(deeper);
    req2.writer().appendInt32(5);
    ASSERT_EQ(client->transactSync(kCallBack, req2, &reply), kStatusOk);
    Reader r2 = reply->reader();
    ASSERT_TRUE(r2.readInt32(&result));
    EXPECT_EQ(result, 16);
}

TEST_P(BinderIpc, DeathIsReportedWhenThePeerIsKilledOrExits)
{
    bool died = false;
    echo->addDeathHandler([&] { died = true; });
    m_peer->kill(SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return died; }));
    EXPECT_TRUE(echo->isDead());
    LocalRequest req = request(kPid);
    std::unique_ptr<RemoteReply> reply;
    EXPECT_EQ(client->transactSync(kPid, req, &reply), kStatusDeadObject);
    EXPECT_FALSE(reply);
    m_peer->wait();

    // A peer that leaves on its own.
    auto second = startPeer("leaving");
    auto remote = sm->getServiceSync(lookupName("leaving"));
    ASSERT_TRUE(remote);
    bool secondDied = false;
    unsigned long removed = remote->addDeathHandler([&] { ADD_FAILURE() << "removed handlers stay quiet"; });
    remote->addDeathHandler([&] { secondDied = true; });
    remote->removeHandler(removed);
    Client c = makeClient(remote);
    LocalRequest bye = c.newRequest(kExit);
    EXPECT_EQ(c.transactOneway(kExit, bye), kStatusOk);
    ASSERT_TRUE(waitUntil([&] { return secondDied; }));
    int status = second->wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_P(BinderIpc, BlockedRequestCompletesLaterWhileOtherCallsAreServed)
{
    std::atomic<int> blockedResult {-1};
    std::atomic<bool> blockedDone {false};
    std::thread caller([&] {
        Client c = makeClient(echo);
        LocalRequest req = c.newRequest(kBlock);
        std::unique_ptr<RemoteReply> reply;
        if (c.transactSync(kBlock, req, &reply) == kStatusOk) {
            int32_t v;
            Reader r = reply->reader();
            if (r.readInt32(&v))
                blockedResult = v;
        }
        blockedDone = true;
    });
    int released = 0;
    for (int round = 0; round < 500 && released == 0; ++round) {
        for (int i = 0; i < 3; ++i) {
            LocalRequest req = request(kPid);
            std::unique_ptr<RemoteReply> reply;
            ASSERT_EQ(client->transactSync(kPid, req, &reply), kStatusOk) << "served while one is blocked";
        }
        EXPECT_FALSE(blockedDone);
        LocalRequest req = request(kRelease);
        std::unique_ptr<RemoteReply> reply;
        ASSERT_EQ(client->transactSync(kRelease, req, &reply), kStatusOk);
        int32_t n;
        Reader r = reply->reader();
        ASSERT_TRUE(r.readInt32(&n));
        released += n;
        if (!released)
            spin(10);
    }
    caller.join();
    EXPECT_EQ(released, 1);
    EXPECT_EQ(blockedResult, 42);
}

TEST_P(BinderIpc, LateRegisteredNameIsFoundByTheWatch)
{
    std::vector<std::string> seen;
    unsigned long id = sm->addRegistrationHandler(lookupName("late"), [&](const std::string &name) {
        seen.push_back(name);
    });
    ASSERT_NE(id, 0u);
    spin(100);
    EXPECT_TRUE(seen.empty());
    auto late = startPeer("late");
    ASSERT_TRUE(waitUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen.front(), lookupName("late"));
    EXPECT_TRUE(sm->getServiceSync(lookupName("late")));
    sm->removeHandler(id);
}

TEST_P(BinderIpc, ServiceManagerRestartBringsBackWatchesAndRegistrations)
{
    std::vector<std::string> interfaces = hidl() ? std::vector<std::string> {kEchoHidl10}
                                                 : std::vector<std::string> {kEchoAidl};
    auto mine = sm->newLocalObject(interfaces, [](const RemoteRequest &, uint32_t, uint32_t, LocalReply *) {
        return kStatusOk;
    });
    auto name = ServiceName::create(sm, mine, registeredName("mine"));
    ASSERT_TRUE(name && name->isRegistered());
    std::vector<bool> presence;
    unsigned long presenceId = sm->addPresenceHandler([&](bool present) { presence.push_back(present); });
    bool afterSeen = false;
    unsigned long watchId = sm->addRegistrationHandler(lookupName("after"), [&](const std::string &) {
        afterSeen = true;
    });

    m_manager->kill(SIGKILL);
    m_manager->wait();
    ASSERT_TRUE(waitUntil([&] { return !sm->isPresent(); })) << "death of the manager noticed";
    m_manager = startManager();
    ASSERT_TRUE(waitUntil([&] { return sm->isPresent(); })) << "manager found again";
    EXPECT_EQ(presence, (std::vector<bool> {false, true}));
    auto listed = [&](const std::string &n) {
        Status status;
        for (const std::string &s : sm->listSync(&status)) {
            if (s == n)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(waitUntil([&] { return listed(lookupName("mine")); }, 5000)) << "our name came back";
    EXPECT_TRUE(waitUntil([&] { spin(100); return listed(lookupName("echo")); }, 10000)) << "the peer's came back";
    auto after = startPeer("after");
    EXPECT_TRUE(waitUntil([&] { return afterSeen; })) << "the watch was re-armed";
    sm->removeHandler(watchId);
    sm->removeHandler(presenceId);
}

TEST_P(BinderIpc, WrongInterfacesAndUnknownCodesAreRefused)
{
    Client wrong(echo, hidl() ? "ferry.test@9.9::INope" : "ferry.test.INope");
    LocalRequest req = wrong.newRequest();
    std::unique_ptr<RemoteReply> reply;
    StatusSource source = StatusSource::Delivery;
    EXPECT_EQ(wrong.transactSync(kPid, req, &reply, nullptr, &source), -EPERM);
    EXPECT_EQ(source, StatusSource::Peer) << "a refusal, not a failed delivery";
    LocalRequest unknown = request(999);
    EXPECT_EQ(client->transactSync(999, unknown, &reply), -EBADMSG);
    LocalRequest broken = request(kPid);
    EXPECT_FALSE(broken.writer().appendFd(-1));
    EXPECT_EQ(client->transactSync(kPid, broken, &reply, nullptr, &source), -EBADF);
    EXPECT_EQ(source, StatusSource::Delivery);

    if (hidl()) {
        Client base(echo, kHidlBaseInterface);
        LocalRequest chainRequest = base.newRequest();
        ASSERT_EQ(base.transactSync(hidl_base::kInterfaceChain, chainRequest, &reply), kStatusOk);
        Reader r = reply->reader();
        int32_t status;
        std::vector<std::string> chain;
        ASSERT_TRUE(r.readInt32(&status) && r.readHidlStringVec(&chain));
        EXPECT_EQ(chain, (std::vector<std::string> {kEchoHidl11, kEchoHidl10, kHidlBaseInterface}));
        EXPECT_EQ(echo->ping(), kStatusOk);
    } else {
        Client any(echo, "");
        LocalRequest ntf = any.newRequest();
        ASSERT_EQ(any.transactSync(kInterfaceTransaction, ntf, &reply), kStatusOk);
        Reader r = reply->reader();
        std::string descriptor;
        bool isNull;
        ASSERT_TRUE(r.readString16(&descriptor, &isNull));
        EXPECT_EQ(descriptor, kEchoAidl);
        EXPECT_EQ(echo->ping(), kStatusOk);
    }
}

TEST_P(BinderIpc, ManyCallsLeakNoBuffersReferencesOrFds)
{
    LocalRequest pidRequest = request(kPid);
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client->transactSync(kPid, pidRequest, &reply), kStatusOk);
    int32_t peerPid;
    Reader pr = reply->reader();
    ASSERT_TRUE(pr.readInt32(&peerPid));
    reply.reset();

    auto object = newCallback([](int32_t x) { return x; });
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    auto roundTrip = [&] {
        LocalRequest req = request(kEchoObjects);
        req.writer().appendLocalObject(object);
        req.writer().appendFd(fds[0]);
        std::unique_ptr<RemoteReply> answer;
        if (client->transactSync(kEchoObjects, req, &answer) != kStatusOk)
            return false;
        Reader r = answer->reader();
        std::shared_ptr<LocalObject> back;
        int fd;
        return r.readLocalObject(&back) && back == object && r.readFd(&fd) && fd >= 0;
    };
    auto plainCall = [&] {
        LocalRequest req = request(kEchoRaw);
        req.writer().appendInt64(12345);
        std::unique_ptr<RemoteReply> answer;
        return client->transactSync(kEchoRaw, req, &answer) == kStatusOk && answer->reader().size() == 8;
    };
    ASSERT_TRUE(roundTrip());
    spin(100);
    int fdsBefore = openFdCount();
    DriverView mineBefore = driverView(getpid(), device());
    DriverView peerBefore = driverView(peerPid, device());
    // Every tenth call carries an object and an fd both ways.
    // Ten thousand on one device; the emulated guest is slow.
    const int calls = GetParam().protocol == voroProtocol() && !strcmp(GetParam().label, "voro") ? 10000 : 1000;
    for (int i = 0; i < calls; ++i)
        ASSERT_TRUE(i % 10 ? plainCall() : roundTrip()) << "call " << i;
    spin(200);
    EXPECT_EQ(openFdCount(), fdsBefore);
    DriverView mineAfter = driverView(getpid(), device());
    DriverView peerAfter = driverView(peerPid, device());
    ASSERT_TRUE(mineAfter.read) << "debugfs is mounted in the guest";
    EXPECT_EQ(mineAfter.buffers, mineBefore.buffers) << mineAfter.text;
    EXPECT_EQ(mineAfter.nodes, mineBefore.nodes);
    EXPECT_EQ(mineAfter.refs, mineBefore.refs);
    EXPECT_EQ(peerAfter.buffers, peerBefore.buffers) << peerAfter.text;
    EXPECT_EQ(peerAfter.refs, peerBefore.refs);
    EXPECT_EQ(peerAfter.nodes, peerBefore.nodes);
    EXPECT_LE(mineAfter.buffers, 1) << "at most the buffer of a call in flight\n" << mineAfter.text;
    close(fds[0]);
    close(fds[1]);
}

TEST_P(BinderIpc, ServiceManagerListsAndLooksUpNames)
{
    Status status = -1;
    std::vector<std::string> names = sm->listSync(&status);
    EXPECT_EQ(status, kStatusOk);
    if (hidl()) {
        // Registered under every interface of the object's chain.
        EXPECT_EQ(names, (std::vector<std::string> {std::string(kHidlBaseInterface) + "/echo_novum",
                                                    std::string(kEchoHidl10) + "/echo_novum",
                                                    std::string(kEchoHidl11) + "/echo_novum"}));
        EXPECT_EQ(sm->getServiceSync(std::string(kEchoHidl11) + "/echo_novum"), echo) << "one object per handle";
    } else {
        EXPECT_EQ(names, std::vector<std::string> {"ferry.test.echo"});
    }
    status = -1;
    EXPECT_FALSE(sm->getServiceSync(lookupName("nobody"), &status));
    EXPECT_EQ(status, kStatusOk) << "an unknown name is an answer, not an error";
    auto other = Ipc::get("/dev/vndvororoveredi" == std::string(device()) ? "/dev/vororoveredi" : "/dev/vndvororoveredi");
    ASSERT_TRUE(other);
    auto foreign = LocalObject::create(other, "x", nullptr);
    EXPECT_EQ(sm->addServiceSync("foreign", foreign), -EINVAL) << "objects of another device cannot be added";
    EXPECT_EQ(sm->addServiceSync("null", nullptr), -EINVAL);
}

// The HIDL service manager serves requests that arrive while it sends its
// own notifications; one that changes the listeners under its feet must
// not crash it.
TEST_P(BinderIpc, ServiceManagerSurvivesListenerChangesWhileNotifying)
{
    if (!hidl())
        GTEST_SKIP() << "HIDL service manager only";
    constexpr uint32_t kRegister = 6, kUnregister = 9;
    const char *kNotification = "android.hidl.manager@1.0::IServiceNotification";
    std::shared_ptr<RemoteObject> manager = ipcPrivate(*sm->ipc()).remoteObjectForHandle(0);
    ASSERT_TRUE(manager);
    std::atomic<int> notified {0};
    auto notifications = LocalObject::create(sm->ipc(), kNotification,
                                             [&](const RemoteRequest &, uint32_t, uint32_t, LocalReply *) {
                                                 ++notified;
                                                 return kStatusOk;
                                             });
    auto other = LocalObject::create(sm->ipc(), kNotification, nullptr);
    auto listen = [&](const Client &c, uint32_t code, const char *fqName, const char *instance,
                      const std::shared_ptr<LocalObject> &callback) {
        LocalRequest req = c.newRequest(code);
        req.writer().appendHidlString(fqName);
        req.writer().appendHidlString(instance);
        req.writer().appendLocalObject(callback);
        std::unique_ptr<RemoteReply> reply;
        return c.transactSync(code, req, &reply);
    };
    Client mainClient(manager, "android.hidl.manager@1.0::IServiceManager");
    constexpr int kListeners = 1000;
    for (int i = 0; i < kListeners; ++i)
        ASSERT_EQ(listen(mainClient, kRegister, kEchoHidl10, "flood", notifications), kStatusOk);

    // Other threads keep adding and removing listeners of their own.
    std::atomic<bool> stop {false};
    std::atomic<int> toggles {0};
    std::vector<std::thread> churn;
    for (int t = 0; t < 4; ++t) {
        churn.emplace_back([&, t] {
            Client c(manager, "android.hidl.manager@1.0::IServiceManager");
            std::string instance = "x" + std::to_string(t);
            while (!stop) {
                if (listen(c, kRegister, "ferry.test@1.0::INobody", instance.c_str(), other) != kStatusOk
                    || listen(c, kUnregister, "ferry.test@1.0::INobody", instance.c_str(), other) != kStatusOk)
                    break;
                ++toggles;
            }
        });
    }
    auto object = LocalObject::create(sm->ipc(), std::vector<std::string> {kEchoHidl10}, nullptr);
    int expected = 0;
    for (int round = 0; round < 5; ++round) {
        if (sm->addServiceSync("flood", object) != kStatusOk)
            break;
        expected += kListeners;
        // One-way calls take room in our buffer until handled.
        if (!waitUntil([&] { return notified.load() == expected; }))
            break;
    }
    stop = true;
    for (std::thread &thread : churn)
        thread.join();
    EXPECT_GT(toggles.load(), 0);
    EXPECT_EQ(expected, 5 * kListeners) << "the service manager failed while notifying";
    EXPECT_TRUE(waitUntil([&] { return notified.load() == expected; }))
        << notified.load() << " of " << expected << " notifications";
    Status status = -1;
    sm->listSync(&status);
    EXPECT_EQ(status, kStatusOk) << "the service manager still answers";
    notifications->drop();
}

// While the main thread waits for a call, a handler served meanwhile makes
// one-way calls; the call's reply, queued by then, must still reach it.
TEST_P(BinderIpc, OnewayCallsOfAHandlerServedDuringACallLeaveItsReply)
{
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMainThread = false;
    auto callback = newCallback([&](int32_t x) {
        onMainThread = std::this_thread::get_id() == mainThread;
        LocalRequest started = request(kRaceStarted);
        client->transactOneway(kRaceStarted, started);
        g_usleep(200000);   // the peer answers the outer call meanwhile
        LocalRequest record = request(kRecord);
        record.writer().appendInt32(x);
        client->transactOneway(kRecord, record);
        return x;
    });
    LocalRequest req = request(kRaceReply);
    req.writer().appendLocalObject(callback);
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client->transactSync(kRaceReply, req, &reply), kStatusOk);
    int32_t value = 0;
    EXPECT_TRUE(reply->reader().readInt32(&value));
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(onMainThread);
}

// A worker thread's call is called back: the handler runs on the main
// thread, may block the request and complete it before it returns, and
// still reads the request afterwards.
TEST_P(BinderIpc, CallbackIntoAWorkerThreadsCallRunsOnTheMainThread)
{
    std::thread::id mainThread = std::this_thread::get_id();
    bool onMainThread = false;
    int32_t reread = -1;
    auto callback = LocalObject::create(
        sm->ipc(), hidl() ? kCallbackHidl : kCallbackAidl,
        [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *) -> Status {
            onMainThread = std::this_thread::get_id() == mainThread;
            std::shared_ptr<BlockedRequest> blocked = req.block();
            int32_t x;
            if (!blocked || !req.reader().readInt32(&x))
                return kStatusFailed;
            blocked->reply()->writer().appendInt32(x * 2);
            blocked->complete(kStatusOk);
            blocked.reset();
            g_usleep(50000);
            req.reader().readInt32(&reread);
            return kStatusOk;
        });
    std::atomic<bool> done {false};
    Status status = -1;
    int32_t result = 0;
    std::thread worker([&] {
        Client c = makeClient(echo);
        LocalRequest req = c.newRequest(kCallBack);
        req.writer().appendLocalObject(callback);
        req.writer().appendInt32(21);
        std::unique_ptr<RemoteReply> reply;
        status = c.transactSync(kCallBack, req, &reply);
        if (status == kStatusOk)
            reply->reader().readInt32(&result);
        done = true;
    });
    EXPECT_TRUE(waitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(status, kStatusOk);
    EXPECT_EQ(result, 43);
    EXPECT_TRUE(onMainThread);
    EXPECT_EQ(reread, 21) << "the request outlives its early completion";
}

TEST_P(BinderIpc, ObjectsOnlyAReplyHoldsStayAliveUntilThePeerHasThem)
{
    const char *interface = hidl() ? kCallbackHidl : kCallbackAidl;
    auto factory = LocalObject::create(sm->ipc(), interface,
                                       [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *reply) -> Status {
                                           int32_t n;
                                           if (!reply || !req.reader().readInt32(&n))
                                               return kStatusFailed;
                                           for (int32_t i = 0; i < n; ++i)
                                               reply->writer().appendLocalObject(
                                                   LocalObject::create(sm->ipc(), interface, nullptr));
                                           return kStatusOk;
                                       });
    LocalRequest req = request(kManyObjects);
    req.writer().appendLocalObject(factory);
    req.writer().appendInt32(16);
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client->transactSync(kManyObjects, req, &reply), kStatusOk);
    int32_t alive = 0;
    EXPECT_TRUE(reply->reader().readInt32(&alive));
    EXPECT_EQ(alive, 16);
}

TEST_P(BinderIpc, FrozenPeerFailsCallsButTakesOnewayCalls)
{
    LocalRequest pidRequest = request(kPid);
    std::unique_ptr<RemoteReply> reply;
    ASSERT_EQ(client->transactSync(kPid, pidRequest, &reply), kStatusOk);
    int32_t pid = 0;
    ASSERT_TRUE(reply->reader().readInt32(&pid));
    int fd = open(device(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    auto freeze = [&](bool enable) {
        binder_freeze_info info {uint32_t(pid), enable, 1000};
        return ioctl(fd, BINDER_FREEZE, &info) == 0;
    };
    ASSERT_TRUE(freeze(true)) << strerror(errno);
    LocalRequest sync = request(kPid);
    StatusSource source = StatusSource::Peer;
    EXPECT_EQ(client->transactSync(kPid, sync, &reply, nullptr, &source), -EAGAIN);
    EXPECT_EQ(source, StatusSource::Delivery);
    LocalRequest oneway = request(kRecord);
    oneway.writer().appendInt32(5);
    EXPECT_EQ(client->transactOneway(kRecord, oneway), kStatusOk);
    EXPECT_TRUE(freeze(false));
    close(fd);
    int32_t recorded = 0;
    EXPECT_TRUE(waitUntil([&] {
        LocalRequest get = request(kGetRecorded);
        int32_t n = 0;
        if (client->transactSync(kGetRecorded, get, &reply) == kStatusOk)
            reply->reader().readInt32(&n);
        recorded += n;
        return recorded > 0;
    }));
    EXPECT_EQ(recorded, 1);
}

// The fds of a received fd array belong to the buffer: the kernel closes
// them when it is freed, and nobody else may (a second close hits whatever
// fd took the number meanwhile, here another thread's).
TEST_P(BinderIpc, ReceivedFdArraysAreClosedOnceByTheKernel)
{
    spin(50);
    int before = openFdCount();
    std::atomic<bool> stop {false};
    std::atomic<int> lost {0};
    std::thread opener([&] {
        while (!stop) {
            int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            g_usleep(100);
            if (fcntl(fd, F_GETFD) < 0)
                ++lost;
            else
                close(fd);
        }
    });
    for (int i = 0; i < 100; ++i) {
        LocalRequest req = request(kFdArray);
        req.writer().appendInt32(4);
        std::unique_ptr<RemoteReply> reply;
        Status status = client->transactSync(kFdArray, req, &reply);
        EXPECT_EQ(status, kStatusOk);
        if (status != kStatusOk)
            break;
        EXPECT_EQ(reply->reader().objectCount(), 2u);
    }
    stop = true;
    opener.join();
    spin(50);
    EXPECT_EQ(lost.load(), 0) << "fds of another thread were closed";
    EXPECT_EQ(openFdCount(), before);
}

TEST_P(BinderIpc, PeerKilledDuringACallOrWhileWeHoldItsRequest)
{
    std::thread::id mainThread = std::this_thread::get_id();
    bool deathOnMainThread = false;
    echo->addDeathHandler([&] { deathOnMainThread = std::this_thread::get_id() == mainThread; });
    std::atomic<bool> done {false};
    Status status = kStatusOk;
    StatusSource source = StatusSource::Peer;
    std::thread caller([&] {
        Client c = makeClient(echo);
        LocalRequest req = c.newRequest(kBlock);
        std::unique_ptr<RemoteReply> reply;
        status = c.transactSync(kBlock, req, &reply, nullptr, &source);
        done = true;
    });
    spin(200);
    EXPECT_FALSE(done);
    m_peer->kill(SIGKILL);
    EXPECT_TRUE(waitUntil([&] { return done.load(); }));
    caller.join();
    EXPECT_EQ(status, kStatusDeadObject);
    EXPECT_EQ(source, StatusSource::Delivery);
    EXPECT_TRUE(waitUntil([&] { return deathOnMainThread; }));
    m_peer->wait();

    // A request of a peer that dies while we hold it.
    auto second = startPeer("second");
    auto remote = sm->getServiceSync(lookupName("second"));
    ASSERT_TRUE(remote);
    std::shared_ptr<BlockedRequest> held;
    auto callback = LocalObject::create(sm->ipc(), hidl() ? kCallbackHidl : kCallbackAidl,
                                        [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *) {
                                            held = req.block();
                                            return held ? kStatusOk : kStatusFailed;
                                        });
    done = false;
    std::thread worker([&] {
        Client c = makeClient(remote);
        LocalRequest req = c.newRequest(kCallBack);
        req.writer().appendLocalObject(callback);
        req.writer().appendInt32(1);
        std::unique_ptr<RemoteReply> reply;
        status = c.transactSync(kCallBack, req, &reply);
        done = true;
    });
    ASSERT_TRUE(waitUntil([&] { return held != nullptr; }));
    second->kill(SIGKILL);
    second->wait();
    held->reply()->writer().appendInt32(1);
    held->complete(kStatusOk);
    held.reset();
    EXPECT_TRUE(waitUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(status, kStatusDeadObject);
    Status listed = -1;
    sm->listSync(&listed);
    EXPECT_EQ(listed, kStatusOk) << "the library still works";
}

TEST_P(BinderIpc, AsynchronousCallsAnswerOnTheMainContextUnlessCancelled)
{
    std::thread::id mainThread = std::this_thread::get_id();
    bool callbackOnMain = false;
    auto callback = newCallback([&](int32_t x) {
        callbackOnMain = std::this_thread::get_id() == mainThread;
        return x + 100;
    });
    struct Outcome {
        bool done = false;
        bool onMain = false;
        Status status = -1;
        int32_t value = 0;
    };
    auto collect = [&](Outcome *out) {
        return [out, mainThread](Status status, StatusSource, std::unique_ptr<RemoteReply> reply) {
            out->done = true;
            out->onMain = std::this_thread::get_id() == mainThread;
            out->status = status;
            if (reply)
                reply->reader().readInt32(&out->value);
        };
    };
    Outcome nested, cancelled;
    LocalRequest req = request(kCallBack);
    req.writer().appendLocalObject(callback);
    req.writer().appendInt32(1);
    auto call = client->transactAsync(kCallBack, std::move(req), collect(&nested));
    ASSERT_TRUE(call);
    EXPECT_FALSE(nested.done) << "the caller does not wait";
    auto held = client->transactAsync(kBlock, request(kBlock), collect(&cancelled));
    EXPECT_TRUE(waitUntil([&] { return nested.done; }));
    EXPECT_TRUE(nested.onMain);
    EXPECT_TRUE(callbackOnMain) << "served on the main context while the call was out";
    EXPECT_EQ(nested.status, kStatusOk);
    EXPECT_EQ(nested.value, 102);
    held->cancel();
    int32_t released = 0;
    EXPECT_TRUE(waitUntil([&] {
        LocalRequest release = request(kRelease);
        std::unique_ptr<RemoteReply> reply;
        int32_t n = 0;
        if (client->transactSync(kRelease, release, &reply) == kStatusOk)
            reply->reader().readInt32(&n);
        released += n;
        return released > 0 && held->isFinished();
    }));
    EXPECT_FALSE(cancelled.done) << "a cancelled call's handler never runs";
}

TEST(BinderIpcLifecycle, OpeningAndClosingLeavesNoThreadsOrFds)
{
    auto taskCount = [] {
        int n = 0;
        if (DIR *dir = opendir("/proc/self/task")) {
            while (struct dirent *e = readdir(dir))
                n += e->d_name[0] != '.';
            closedir(dir);
        }
        return n;
    };
    g_main_context_default();   // its wakeup fd is GLib's, not ours
    int fds = openFdCount();
    int tasks = taskCount();
    for (int i = 0; i < 20; ++i) {
        std::shared_ptr<Ipc> ipc = Ipc::get("/dev/vndvororoveredi", Protocol::Aidl29);
        ASSERT_TRUE(ipc);
        EXPECT_EQ(Ipc::get("/dev/vndvororoveredi"), ipc) << "one per device and process";
        auto object = LocalObject::create(ipc, "ferry.test.ILife", nullptr);
        EXPECT_EQ(ipcPrivate(*ipc).localObjectCount(), 1u);
        object.reset();
        EXPECT_EQ(ipcPrivate(*ipc).localObjectCount(), 0u);
    }
    EXPECT_EQ(openFdCount(), fds);
    // A joined thread may linger in /proc for a moment.
    EXPECT_TRUE(waitUntil([&] { return taskCount() == tasks; }, 2000)) << taskCount() << " threads, not " << tasks;
    EXPECT_FALSE(Ipc::get("/dev/no-such-binder", Protocol::Aidl28));
}

INSTANTIATE_TEST_SUITE_P(Devices, BinderIpc,
                         ::testing::Values(Kind {"voro", "/dev/vororoveredi", voroProtocol()},
                                           Kind {"vnd", "/dev/vndvororoveredi", Protocol::Aidl29},
                                           Kind {"hw", "/dev/hwvororoveredi", Protocol::Hidl}),
                         [](const ::testing::TestParamInfo<Kind> &info) { return std::string(info.param.label); });

} // namespace
