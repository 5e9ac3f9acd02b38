// Service manager clients and servers on real binder devices: the device a
// server leaves behind, watches on bare HIDL names, how often the AIDL
// watch calls the manager, and managers asked for from handlers.

#include <ferry/binder/client.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_manager_server.h>
#include <ferry/binder/service_name.h>

#include "test_payload.h"
#include "vm_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ferry::binder;
using namespace ferry::binder::test;

namespace {

constexpr const char *kVnd = "/dev/vndvororoveredi";
constexpr const char *kHw = "/dev/hwvororoveredi";

std::unique_ptr<ChildProcess> startManager(const char *device, Protocol protocol)
{
    auto sm = std::make_unique<ChildProcess>(std::vector<std::string> {FERRY_SERVICEMANAGER, device,
                                                                       protocolName(protocol)});
    if (!sm->start())
        return nullptr;
    return sm;
}

std::unique_ptr<ChildProcess> startPeer(const char *device, Protocol protocol, const std::string &name)
{
    auto peer = std::make_unique<ChildProcess>(std::vector<std::string> {FERRY_TEST_PEER, "serve", device,
                                                                         protocolName(protocol), name});
    if (!peer->start())
        return nullptr;
    return peer;
}

// Transactions this process has sent on |device|, as the driver counts them.
int sentTransactions(const std::string &device)
{
    std::ifstream in("/sys/kernel/debug/binder/stats");
    std::string line;
    const std::string me = "proc " + std::to_string(getpid());
    const std::string context = "context " + device.substr(device.rfind('/') + 1);
    bool mine = false, inContext = false;
    while (std::getline(in, line)) {
        if (line.rfind("proc ", 0) == 0) {
            mine = line == me;
            inContext = false;
        } else if (line.rfind("context ", 0) == 0) {
            inContext = mine && line == context;
        } else if (inContext && line.find("BC_TRANSACTION:") != std::string::npos) {
            return atoi(line.c_str() + line.find(':') + 1);
        }
    }
    return inContext ? 0 : -1;
}

// First in this program, while no other test has the device open: a server
// that goes away gives its device back (and with it the context manager's
// place).
TEST(ServiceManagerServer, ReleasesItsDeviceWhenDestroyed)
{
    g_main_context_default();   // its wakeup fd is GLib's, not ours
    int fds = openFdCount();
    for (int round = 0; round < 3; ++round) {
        Status status = -1;
        std::unique_ptr<ServiceManagerServer> server = ServiceManagerServer::create(kHw, Protocol::Hidl, &status);
        ASSERT_TRUE(server) << "round " << round << ": the device is still ours (" << status << ")";
        EXPECT_TRUE(server->names().empty());
        server.reset();
        spin(20);
        EXPECT_EQ(openFdCount(), fds) << "round " << round;
    }
    auto other = startManager(kHw, Protocol::Hidl);
    EXPECT_TRUE(other) << "another process can become the manager";
}

// A handler served while get() waits for the manager's first answer asks
// for the manager itself: it must get it at once, not wait for that answer.
TEST(ServiceManagerClient, GetFromHandlerWhileGetWaitsForTheManager)
{
    auto manager = startManager(kVnd, Protocol::Aidl29);
    ASSERT_TRUE(manager);
    auto peer = startPeer(kVnd, Protocol::Aidl29, "ferry.test.echo");
    ASSERT_TRUE(peer);
    // The peer's object, asked for by hand: no ServiceManager exists yet.
    std::shared_ptr<Ipc> ipc = Ipc::get(kVnd, Protocol::Aidl29);
    ASSERT_TRUE(ipc);
    LocalRequest check(Protocol::Aidl29, "android.os.IServiceManager");
    check.writer().appendString16("ferry.test.echo");
    std::unique_ptr<RemoteReply> checked;
    ASSERT_EQ(ipc->transactSync(0, 2, check.writer(), &checked), kStatusOk);
    std::shared_ptr<RemoteObject> echo;
    Reader cr = checked->reader();
    ASSERT_TRUE(cr.readObject(&echo) && echo);
    checked.reset();

    // Stopped, the manager leaves the first ping waiting.
    manager->kill(SIGSTOP);
    std::atomic<bool> got {false};
    std::shared_ptr<ServiceManager> fromHandler;
    auto callback = LocalObject::create(ipc, kCallbackAidl,
                                        [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *reply) {
                                            fromHandler = ServiceManager::get(kVnd, Protocol::Aidl29);
                                            got = fromHandler != nullptr;
                                            int32_t x = 0;
                                            Reader r = req.reader();
                                            r.readInt32(&x);
                                            reply->writer().appendInt32(x * 2);
                                            return kStatusOk;
                                        });
    std::atomic<bool> called {false};
    int32_t result = 0;
    std::thread caller([&] {
        // Once the ping is out, the peer calls our handler back.
        // (Not waitUntil: the main context is the main thread's.)
        for (int i = 0; i < 500; ++i) {
            if (driverView(getpid(), kVnd).text.find("outgoing transaction") != std::string::npos)
                break;
            g_usleep(10000);
        }
        Client client(echo, kEchoAidl);
        LocalRequest request = client.newRequest(kCallBack);
        request.writer().appendLocalObject(callback);
        request.writer().appendInt32(20);
        std::unique_ptr<RemoteReply> reply;
        if (client.transactSync(kCallBack, request, &reply) == kStatusOk) {
            Reader r = reply->reader();
            r.readInt32(&result);
        }
        called = true;
    });
    std::atomic<bool> calledInTime {false};
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !called; ++i)
            g_usleep(10000);
        calledInTime = called.load();
        manager->kill(SIGCONT);
        for (int i = 0; i < 500 && !called; ++i)
            g_usleep(10000);
        if (!called) {
            // Nothing here can end the stuck main thread: leave, taking
            // the children (which share our stderr) along.
            fprintf(stderr, "FAILED: the handler never returned: get() deadlocked in it\n");
            peer->kill(SIGKILL);
            manager->kill(SIGKILL);
            _exit(1);
        }
    });
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kVnd, Protocol::Aidl29);
    EXPECT_TRUE(waitUntil([&] { return called.load(); }, 15000));
    caller.join();
    watchdog.join();
    EXPECT_TRUE(calledInTime) << "the handler waited for the stopped manager";
    EXPECT_EQ(result, 41);
    EXPECT_TRUE(got);
    ASSERT_TRUE(sm);
    EXPECT_EQ(fromHandler, sm) << "one manager per device, also while it is being set up";
    EXPECT_TRUE(waitUntil([&] { return sm->isPresent(); }));
    callback->drop();
}

// A bare fqName watches its "default" instance.
TEST(ServiceManagerClient, HidlWatchOnBareNameSeesTheDefaultInstance)
{
    auto manager = startManager(kHw, Protocol::Hidl);
    ASSERT_TRUE(manager);
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kHw, Protocol::Hidl);
    ASSERT_TRUE(sm && waitUntil([&] { return sm->isPresent(); }));
    std::vector<std::string> before, after, other;
    unsigned long early = sm->addRegistrationHandler(kEchoHidl10, [&](const std::string &n) { before.push_back(n); });
    unsigned long elsewhere = sm->addRegistrationHandler(std::string(kEchoHidl10) + "/other",
                                                         [&](const std::string &n) { other.push_back(n); });
    auto peer = startPeer(kHw, Protocol::Hidl, "default");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return !before.empty(); }, 5000)) << "registered after the watch";
    // Already there when watched: reported at once.
    unsigned long late = sm->addRegistrationHandler(kEchoHidl11, [&](const std::string &n) { after.push_back(n); });
    EXPECT_TRUE(waitUntil([&] { return !after.empty(); }, 5000)) << "registered before the watch";
    spin(100);
    EXPECT_EQ(before, std::vector<std::string> {std::string(kEchoHidl10) + "/default"});
    EXPECT_EQ(after, std::vector<std::string> {std::string(kEchoHidl11) + "/default"});
    EXPECT_TRUE(other.empty()) << "another instance is another name";
    EXPECT_TRUE(sm->getServiceSync(kEchoHidl10));
    for (unsigned long id : {early, elsewhere, late})
        sm->removeHandler(id);
}

// The AIDL manager has no notifications: each poll asks for each watched
// name once, however many names it holds, and a name that vanished is
// reported again when it comes back.
TEST(ServiceManagerClient, AidlWatchAsksOncePerWatchedName)
{
    auto manager = startManager(kVnd, Protocol::Aidl29);
    ASSERT_TRUE(manager);
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kVnd, Protocol::Aidl29);
    ASSERT_TRUE(sm && waitUntil([&] { return sm->isPresent(); }));
    std::vector<std::shared_ptr<ServiceName>> filler;
    auto object = sm->newLocalObject("ferry.test.IFiller", nullptr);
    for (int i = 0; i < 6; ++i) {
        filler.push_back(ServiceName::create(sm, object, "ferry.test.filler" + std::to_string(i)));
        ASSERT_TRUE(filler.back()->isRegistered());
    }
    int seen = 0;
    unsigned long echoWatch = sm->addRegistrationHandler("ferry.test.echo", [&](const std::string &) { ++seen; });
    unsigned long neverWatch = sm->addRegistrationHandler("ferry.test.never", [&](const std::string &) {
        ADD_FAILURE() << "never registered";
    });
    // One poll, seen whole: it runs within one main-context iteration.
    auto onePoll = [&] {
        int start = sentTransactions(kVnd);
        int now = start;
        waitUntil([&] { return (now = sentTransactions(kVnd)) != start; }, 5000);
        return now - start;
    };
    ASSERT_GE(sentTransactions(kVnd), 0) << "debugfs is mounted in the guest";
    EXPECT_EQ(onePoll(), 2) << "one call per watch";

    auto peer = startPeer(kVnd, Protocol::Aidl29, "ferry.test.echo");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return seen == 1; }, 5000));
    peer.reset();
    ASSERT_TRUE(waitUntil([&] { return !sm->getServiceSync("ferry.test.echo"); }, 5000));
    onePoll();   // noticed gone
    EXPECT_EQ(seen, 1);
    peer = startPeer(kVnd, Protocol::Aidl29, "ferry.test.echo");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return seen == 2; }, 5000)) << "back again";
    sm->removeHandler(echoWatch);
    sm->removeHandler(neverWatch);
}

} // namespace
