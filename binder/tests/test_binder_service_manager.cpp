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

// "ready" once it is the manager, or serves the echo object under |name|.
std::unique_ptr<ChildProcess> start(const char *device, Protocol protocol, const std::string &name = std::string())
{
    std::vector<std::string> argv {FERRY_SERVICEMANAGER, device, protocolName(protocol)};
    if (!name.empty())
        argv = {FERRY_TEST_PEER, "serve", device, protocolName(protocol), name};
    auto child = std::make_unique<ChildProcess>(argv);
    return child->start() ? std::move(child) : nullptr;
}

// Transactions this process has sent on |device|, as the driver counts them.
int sentTransactions(const std::string &device)
{
    std::ifstream in("/sys/kernel/debug/binder/stats");
    const std::string me = "proc " + std::to_string(getpid()), context = "context " + device.substr(5);
    bool mine = false, inContext = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("proc ", 0) == 0)
            mine = line == me;
        else if (line.rfind("context ", 0) == 0)
            inContext = mine && line == context;
        else if (inContext && line.find("BC_TRANSACTION:") != std::string::npos)
            return atoi(line.c_str() + line.find(':') + 1);
    }
    return -1;
}

// Waits for the next poll of an AIDL watch on |device| and returns the
// calls it made. A poll runs within one main-context iteration, so it is
// seen whole.
int onePoll(const std::string &device)
{
    int before = sentTransactions(device), now = before;
    waitUntil([&] { return (now = sentTransactions(device)) != before; }, 5000);
    return now - before;
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
    auto other = start(kHw, Protocol::Hidl);
    EXPECT_TRUE(other) << "another process can become the manager";
}

// A handler served while get() waits for the manager's first answer asks
// for the manager itself: it must get it at once, not wait for that answer.
TEST(ServiceManagerClient, GetFromHandlerWhileGetWaitsForTheManager)
{
    auto manager = start(kVnd, Protocol::Aidl29);
    auto peer = start(kVnd, Protocol::Aidl29, "ferry.test.echo");
    ASSERT_TRUE(manager && peer);
    // The peer's object, by hand (checkService): no ServiceManager yet.
    std::shared_ptr<Ipc> ipc = Ipc::get(kVnd, Protocol::Aidl29);
    LocalRequest check(Protocol::Aidl29, "android.os.IServiceManager");
    check.writer().appendString16("ferry.test.echo");
    std::unique_ptr<RemoteReply> checked;
    std::shared_ptr<RemoteObject> echo;
    ASSERT_EQ(ipc->transactSync(0, 2, check.writer(), &checked), kStatusOk);
    ASSERT_TRUE(checked->reader().readObject(&echo) && echo);

    manager->kill(SIGSTOP);   // the first ping waits
    std::shared_ptr<ServiceManager> fromHandler;
    auto callback = LocalObject::create(ipc, kCallbackAidl, [&](const RemoteRequest &, uint32_t, uint32_t,
                                                                LocalReply *reply) {
        fromHandler = ServiceManager::get(kVnd, Protocol::Aidl29);
        reply->writer().appendInt32(7);
        return kStatusOk;
    });
    std::atomic<int> called {0};   // 1 while the manager is stopped, 2 after
    std::thread caller([&] {
        // Once the ping is out, the peer calls the handler (not waitUntil:
        // the main context is the main thread's).
        for (int i = 0; i < 500 && driverView(getpid(), kVnd).text.find("outgoing transaction") == std::string::npos;
             ++i)
            g_usleep(10000);
        Client client(echo, kEchoAidl);
        LocalRequest request = client.newRequest(kCallBack);
        request.writer().appendLocalObject(callback);
        request.writer().appendInt32(0);
        std::unique_ptr<RemoteReply> reply;
        called = client.transactSync(kCallBack, request, &reply) == kStatusOk ? 1 : -1;
    });
    std::thread watchdog([&] {
        for (int i = 0; i < 500 && !called; ++i)
            g_usleep(10000);
        int atFiveSeconds = called;
        manager->kill(SIGCONT);
        for (int i = 0; i < 500 && !called; ++i)
            g_usleep(10000);
        if (!called) {
            // The main thread is stuck for good: leave, with the children
            // (they share our stderr).
            fprintf(stderr, "FAILED: the handler never returned: get() deadlocked in it\n");
            peer->kill(SIGKILL);
            manager->kill(SIGKILL);
            _exit(1);
        }
        called = atFiveSeconds ? called.load() : 2;
    });
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kVnd, Protocol::Aidl29);
    caller.join();
    watchdog.join();
    EXPECT_EQ(called, 1) << "2: the handler waited for the stopped manager";
    ASSERT_TRUE(sm);
    EXPECT_EQ(fromHandler, sm) << "one manager per device, also while it is being set up";
    EXPECT_TRUE(waitUntil([&] { return sm->isPresent(); }));
    callback->drop();
}

// A bare fqName watches its "default" instance, registered after the
// watch or before.
TEST(ServiceManagerClient, HidlWatchOnBareNameSeesTheDefaultInstance)
{
    auto manager = start(kHw, Protocol::Hidl);
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kHw, Protocol::Hidl);
    ASSERT_TRUE(manager && sm && waitUntil([&] { return sm->isPresent(); }));
    std::vector<std::string> seen;
    auto watch = [&](const std::string &name) {
        return sm->addRegistrationHandler(name, [&](const std::string &n) { seen.push_back(n); });
    };
    std::vector<unsigned long> ids = {watch(kEchoHidl10), watch(std::string(kEchoHidl10) + "/other")};
    auto peer = start(kHw, Protocol::Hidl, "default");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return seen.size() == 1; }, 5000));
    ids.push_back(watch(kEchoHidl11));
    EXPECT_TRUE(waitUntil([&] { return seen.size() == 2; }, 5000));
    spin(100);
    EXPECT_EQ(seen, (std::vector<std::string> {std::string(kEchoHidl10) + "/default",
                                               std::string(kEchoHidl11) + "/default"}));
    for (unsigned long id : ids)
        sm->removeHandler(id);
}

// The AIDL manager has no notifications: each poll asks for each watched
// name once, however many names it holds, and a name that vanished is
// reported again when it comes back.
TEST(ServiceManagerClient, AidlWatchAsksOncePerWatchedName)
{
    auto manager = start(kVnd, Protocol::Aidl29);
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kVnd, Protocol::Aidl29);
    ASSERT_TRUE(manager && sm && waitUntil([&] { return sm->isPresent(); }));
    std::vector<std::shared_ptr<ServiceName>> filler;
    auto object = sm->newLocalObject("ferry.test.IFiller", nullptr);
    for (int i = 0; i < 6; ++i)
        filler.push_back(ServiceName::create(sm, object, "ferry.test.filler" + std::to_string(i)));
    int seen = 0;
    unsigned long echoWatch = sm->addRegistrationHandler("ferry.test.echo", [&](const std::string &) { ++seen; });
    unsigned long neverWatch = sm->addRegistrationHandler("ferry.test.never", [&](const std::string &) { ++seen; });
    ASSERT_GE(sentTransactions(kVnd), 0) << "debugfs is mounted in the guest";
    EXPECT_EQ(onePoll(kVnd), 2) << "one call per watch";

    auto peer = start(kVnd, Protocol::Aidl29, "ferry.test.echo");
    EXPECT_TRUE(waitUntil([&] { return seen == 1; }, 5000));
    peer.reset();
    ASSERT_TRUE(waitUntil([&] { return !sm->getServiceSync("ferry.test.echo"); }, 5000));
    onePoll(kVnd);   // noticed gone
    peer = start(kVnd, Protocol::Aidl29, "ferry.test.echo");
    EXPECT_TRUE(waitUntil([&] { return seen == 2; }, 5000)) << "back again";
    sm->removeHandler(echoWatch);
    sm->removeHandler(neverWatch);
}

// A service that dies and is back before the next poll is a new
// registration, although no poll saw its name missing.
TEST(ServiceManagerClient, AidlWatchSeesAServiceBackWithinOnePoll)
{
    auto manager = start(kVnd, Protocol::Aidl29);
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kVnd, Protocol::Aidl29);
    ASSERT_TRUE(manager && sm && waitUntil([&] { return sm->isPresent(); }));
    auto peer = start(kVnd, Protocol::Aidl29, "ferry.test.echo");
    ASSERT_TRUE(peer);
    int seen = 0;
    unsigned long watch = sm->addRegistrationHandler("ferry.test.echo", [&](const std::string &) { ++seen; });
    onePoll(kVnd);
    peer.reset();
    peer = start(kVnd, Protocol::Aidl29, "ferry.test.echo");
    ASSERT_TRUE(peer);
    EXPECT_TRUE(waitUntil([&] { return seen == 1; }, 5000));
    spin(2500);
    EXPECT_EQ(seen, 1) << "one registration, one report";
    sm->removeHandler(watch);
}

} // namespace
