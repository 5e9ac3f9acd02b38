// Calls through a bridge from /dev/hwvororoveredi to a HAL on /dev/hwbinder,
// as the user bridge forwards the host's HALs.
//
//   bridge_relay    (needs the driver: tools/vm/run)
//
// Starts a HIDL service manager on each device, an echo HAL on
// /dev/hwbinder and a bridge, each in a process of its own, then calls the
// HAL directly and through the bridge. Prints one name=value per line:
// median and 99th percentile (microseconds, 2 000 calls each after
// warm-up) of an empty call direct and relayed, of a relayed call carrying
// a callback that the HAL calls back once, and of a relayed call whose reply
// carries a native handle of 4 fds.

#include <ferry/binder/bridge.h>
#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace ferry::binder;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char *kHost = "/dev/hwbinder";
constexpr const char *kRuntime = "/dev/hwvororoveredi";
constexpr const char *kInterface = "ferry.bench@1.0::IEcho";
constexpr const char *kCallback = "ferry.bench@1.0::ICallback";
constexpr const char *kInstance = "bench_novum";
constexpr uint32_t kEmpty = 1;
constexpr uint32_t kCallBack = 2;   // object: called once (code 1), then answered
constexpr uint32_t kHandle = 3;     // -> a native handle of 4 fds of /dev/null
constexpr int kCalls = 2000;
constexpr int kWarmUp = 200;

bool waitFor(const std::function<bool()> &done)
{
    for (int i = 0; i < 400; ++i) {
        if (done())
            return true;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(25000);
    }
    return false;
}

int serveHal()
{
    auto sm = ServiceManager::get(kHost, Protocol::Hidl);
    if (!sm || !waitFor([&] { return sm->isPresent(); }))
        return 1;
    std::vector<int32_t> fds;
    for (int i = 0; i < 4; ++i)
        fds.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    auto echo = sm->newLocalObject(kInterface, [&](const RemoteRequest &req, uint32_t code, uint32_t,
                                                   LocalReply *reply) -> Status {
        if (!reply)
            return kStatusOk;
        reply->writer().appendInt32(0);
        if (code == kCallBack) {
            std::shared_ptr<RemoteObject> callback;
            if (!req.reader().readObject(&callback) || !callback)
                return kStatusFailed;
            Client client(callback, kCallback);
            LocalRequest request = client.newRequest(1);
            std::unique_ptr<RemoteReply> answer;
            return client.transactSync(1, request, &answer);
        }
        if (code == kHandle) {
            // native_handle_t: version, numFds, numInts, then the fds.
            std::vector<int32_t> handle {12, 4, 0};
            handle.insert(handle.end(), fds.begin(), fds.end());
            uint32_t parent = reply->writer().appendBufferObject(handle.data(), handle.size() * 4, nullptr);
            reply->writer().appendFdArray(BufferParent {parent, 12}, 4);
        }
        return kStatusOk;
    });
    if (sm->addServiceSync(kInstance, echo) != kStatusOk)
        return 1;
    g_main_loop_run(g_main_loop_new(nullptr, FALSE));
    return 0;
}

int runBridge()
{
    auto source = ServiceManager::get(kRuntime, Protocol::Hidl);
    auto destination = ServiceManager::get(kHost, Protocol::Hidl);
    if (!source || !destination || !waitFor([&] { return source->isPresent() && destination->isPresent(); }))
        return 1;
    auto bridge = Bridge::create(source, destination, kInstance, {kInterface});
    if (!bridge)
        return 1;
    g_main_loop_run(g_main_loop_new(nullptr, FALSE));
    return 0;
}

pid_t spawn(const std::function<int()> &body)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

bool measure(const char *name, const std::function<Status()> &call)
{
    std::vector<double> samples;
    for (int i = 0; i < kWarmUp + kCalls; ++i) {
        auto start = Clock::now();
        Status status = call();
        double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        if (status != kStatusOk) {
            fprintf(stderr, "bridge_relay: %s failed: %d\n", name, status);
            return false;
        }
        if (i >= kWarmUp)
            samples.push_back(us);
    }
    printf("%s_us_median=%.1f\n%s_us_p99=%.1f\n", name, percentile(samples, 0.5), name, percentile(samples, 0.99));
    return true;
}

} // namespace

int main()
{
    std::vector<pid_t> children;
    for (const char *device : {kHost, kRuntime}) {
        children.push_back(spawn([device] {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execl(FERRY_SERVICEMANAGER, FERRY_SERVICEMANAGER, device, "hidl", nullptr);
            return 127;
        }));
    }
    children.push_back(spawn(serveHal));
    children.push_back(spawn(runBridge));

    int result = 1;
    {
        const std::string name = std::string(kInterface) + "/" + kInstance;
        auto runtime = ServiceManager::get(kRuntime, Protocol::Hidl);
        auto host = ServiceManager::get(kHost, Protocol::Hidl);
        std::shared_ptr<RemoteObject> relayed, direct;
        if (runtime && host && waitFor([&] {
                relayed = runtime->isPresent() ? runtime->getServiceSync(name) : nullptr;
                direct = host->isPresent() ? host->getServiceSync(name) : nullptr;
                return relayed && direct;
            })) {
            Client toDirect(direct, kInterface);
            Client toRelayed(relayed, kInterface);
            auto callback = LocalObject::create(runtime->ipc(), kCallback,
                                                [](const RemoteRequest &, uint32_t, uint32_t, LocalReply *reply) {
                                                    if (reply)
                                                        reply->writer().appendInt32(0);
                                                    return kStatusOk;
                                                });
            const auto empty = [](Client &client) {
                LocalRequest request = client.newRequest(kEmpty);
                std::unique_ptr<RemoteReply> reply;
                return client.transactSync(kEmpty, request, &reply);
            };
            bool ok = measure("direct_call", [&] { return empty(toDirect); })
                && measure("relayed_call", [&] { return empty(toRelayed); })
                && measure("relayed_callback", [&] {
                       LocalRequest request = toRelayed.newRequest(kCallBack);
                       request.writer().appendLocalObject(callback);
                       std::unique_ptr<RemoteReply> reply;
                       return toRelayed.transactSync(kCallBack, request, &reply);
                   })
                && measure("relayed_native_handle", [&] {
                       LocalRequest request = toRelayed.newRequest(kHandle);
                       std::unique_ptr<RemoteReply> reply;
                       Status status = toRelayed.transactSync(kHandle, request, &reply);
                       return status == kStatusOk && reply->reader().objectCount() != 2 ? kStatusFailed : status;
                   });
            result = ok ? 0 : 1;
        } else {
            fprintf(stderr, "bridge_relay: the bridged HAL did not appear\n");
        }
    }
    for (pid_t pid : children)
        kill(pid, SIGKILL);
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
    return result;
}
