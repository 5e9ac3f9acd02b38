// Round trips between two processes on one binder device.
//
//   binder_rtt [DEVICE]    (default /dev/vororoveredi; needs the driver)
//
// A child process serves an echo object as the device's context manager;
// the parent calls it. Prints one name=value per line: median and 99th
// percentile round trip of an empty two-way call and of a 4 KiB payload
// (10 000 calls each after warm-up), and one-way calls per second.

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/writer.h>

#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace ferry::binder;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kEcho = 1;
constexpr uint32_t kCount = 2;     // one-way
constexpr uint32_t kGetCount = 3;
constexpr int kCalls = 10000;
constexpr int kWarmUp = 1000;
constexpr int kOneway = 20000;

int serve(const char *device, int readyFd)
{
    std::shared_ptr<Ipc> ipc = Ipc::get(device, Protocol::Aidl28);
    if (!ipc)
        return 1;
    int32_t count = 0;
    auto echo = LocalObject::create(ipc, std::vector<std::string>(),
                                    [&count](const RemoteRequest &req, uint32_t code, uint32_t, LocalReply *reply) {
                                        if (code == kCount) {
                                            ++count;
                                        } else if (code == kGetCount && reply) {
                                            reply->writer().appendInt32(count);
                                        } else if (code == kEcho && reply) {
                                            Reader r(req.parcel());
                                            reply->writer().appendBytes(r.data(), r.size());
                                        }
                                        return kStatusOk;
                                    });
    if (ipc->becomeContextManager(echo) != kStatusOk)
        return 1;
    char ok = 1;
    if (write(readyFd, &ok, 1) != 1)
        return 1;
    close(readyFd);
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}

double percentile(std::vector<double> &v, double p)
{
    std::sort(v.begin(), v.end());
    size_t index = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[index];
}

bool measure(const std::shared_ptr<Ipc> &ipc, size_t payload, double *median, double *p99)
{
    std::vector<uint8_t> bytes(payload, 0x5a);
    std::vector<double> samples;
    samples.reserve(kCalls);
    for (int i = 0; i < kWarmUp + kCalls; ++i) {
        Writer w;
        if (payload)
            w.appendBytes(bytes.data(), bytes.size());
        std::unique_ptr<RemoteReply> reply;
        auto start = Clock::now();
        Status status = ipc->transactSync(0, kEcho, w, &reply);
        reply.reset();
        auto end = Clock::now();
        if (status != kStatusOk) {
            fprintf(stderr, "binder_rtt: call failed: %d\n", status);
            return false;
        }
        if (i >= kWarmUp)
            samples.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    *median = percentile(samples, 0.5);
    *p99 = percentile(samples, 0.99);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const char *device = argc > 1 ? argv[1] : "/dev/vororoveredi";
    int fds[2];
    if (pipe(fds) != 0)
        return 1;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        _exit(serve(device, fds[1]));
    }
    close(fds[1]);
    char ok = 0;
    if (read(fds[0], &ok, 1) != 1 || ok != 1) {
        fprintf(stderr, "binder_rtt: the server did not start on %s\n", device);
        return 1;
    }
    int rc = 1;
    std::shared_ptr<Ipc> ipc = Ipc::get(device, Protocol::Aidl28);
    double emptyMedian, emptyP99, bigMedian, bigP99;
    // One unmeasured pass first: the first thousands of calls in a fresh
    // (emulated) machine are much slower than the rest.
    if (ipc && measure(ipc, 0, &emptyMedian, &emptyP99) && measure(ipc, 0, &emptyMedian, &emptyP99)
        && measure(ipc, 4096, &bigMedian, &bigP99)) {
        auto start = Clock::now();
        Writer empty;
        for (int i = 0; i < kOneway; ++i)
            ipc->transactOneway(0, kCount, empty);
        int32_t count = 0;
        while (count < kOneway) {
            std::unique_ptr<RemoteReply> reply;
            if (ipc->transactSync(0, kGetCount, empty, &reply) != kStatusOk)
                break;
            Reader r = reply->reader();
            if (!r.readInt32(&count))
                break;
        }
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        printf("empty_rtt_us_median=%.1f\n", emptyMedian);
        printf("empty_rtt_us_p99=%.1f\n", emptyP99);
        printf("payload_4k_rtt_us_median=%.1f\n", bigMedian);
        printf("payload_4k_rtt_us_p99=%.1f\n", bigP99);
        printf("oneway_calls_per_second=%.0f\n", count >= kOneway ? kOneway / seconds : 0.0);
        rc = count >= kOneway ? 0 : 1;
    }
    ipc.reset();
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return rc;
}
