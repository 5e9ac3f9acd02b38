// Round trips between two processes on one binder device.
//
//   binder_rtt [DEVICE]    (default /dev/vororoveredi; needs the driver)
//
// A child process serves an echo object as the device's context manager;
// the parent calls it. Prints one name=value per line: median and 99th
// percentile round trip of an empty two-way call and of a 4 KiB payload
// (10 000 calls each after warm-up, or
// four seconds where the machine is slower), the median of a call the server
// answers after calling back into the client once, and one-way calls per
// second. When binder_raw_rtt sits beside it, it runs that first and adds
// the library's ratios to the driver's own figures.

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/writer.h>

#include <glib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <libgen.h>
#include <map>
#include <string>
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
constexpr uint32_t kNested = 4;   // object: calls it once, then answers
// As in binder_raw_rtt: this many calls or this long, whichever ends first.
constexpr int kCalls = 10000;
constexpr int kWarmUp = 1000;
constexpr int kOneway = 20000;
constexpr double kPhaseSeconds = 4.0;
constexpr double kWarmUpSeconds = 0.5;

int serve(const char *device, int readyFd)
{
    std::shared_ptr<Ipc> ipc = Ipc::get(device, Protocol::Aidl28);
    if (!ipc)
        return 1;
    int32_t count = 0;
    auto echo = LocalObject::create(ipc, std::vector<std::string>(),
                                    [&count](const RemoteRequest &req, uint32_t code, uint32_t, LocalReply *reply) -> Status {
                                        if (code == kCount) {
                                            ++count;
                                        } else if (code == kGetCount && reply) {
                                            reply->writer().appendInt32(count);
                                        } else if (code == kEcho && reply) {
                                            Reader r = req.reader();
                                            reply->writer().appendBytes(r.data() + r.position(),
                                                                        r.bytesRemaining());
                                        } else if (code == kNested && reply) {
                                            Reader r = req.reader();
                                            std::shared_ptr<RemoteObject> back;
                                            std::unique_ptr<RemoteReply> answer;
                                            Writer empty;
                                            if (!r.readObject(&back) || !back)
                                                return kStatusFailed;
                                            return back->ipc()->transactSync(back->handle(), kEcho, empty, &answer);
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

bool measure(const std::shared_ptr<Ipc> &ipc, size_t payload, double *median, double *p99,
             const std::shared_ptr<LocalObject> &nested = nullptr)
{
    std::vector<uint8_t> bytes(payload, 0x5a);
    // One call; its round trip in microseconds, or a negative number.
    auto once = [&]() -> double {
        Writer w;
        if (payload)
            w.appendBytes(bytes.data(), bytes.size());
        if (nested)
            w.appendLocalObject(nested);
        std::unique_ptr<RemoteReply> reply;
        auto start = Clock::now();
        Status status = ipc->transactSync(0, nested ? kNested : kEcho, w, &reply);
        reply.reset();
        auto end = Clock::now();
        if (status != kStatusOk) {
            fprintf(stderr, "binder_rtt: call failed: %d\n", status);
            return -1;
        }
        return std::chrono::duration<double, std::micro>(end - start).count();
    };
    std::vector<double> samples;
    samples.reserve(kCalls);
    auto begin = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };
    for (int i = 0; i < kWarmUp && elapsed() < kWarmUpSeconds; ++i) {
        if (once() < 0)
            return false;
    }
    begin = Clock::now();
    while (samples.size() < size_t(kCalls) && (samples.size() < 10 || elapsed() < kPhaseSeconds)) {
        double us = once();
        if (us < 0)
            return false;
        samples.push_back(us);
    }
    *median = percentile(samples, 0.5);
    *p99 = percentile(samples, 0.99);
    return true;
}

// The driver's own figures from binder_raw_rtt beside this program.
std::map<std::string, double> rawFigures(const char *device)
{
    std::map<std::string, double> figures;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return figures;
    self[n] = 0;
    std::string raw = std::string(dirname(self)) + "/binder_raw_rtt";
    if (access(raw.c_str(), X_OK) != 0)
        return figures;
    std::string command = "'" + raw + "' '" + device + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return figures;
    char line[256];
    while (fgets(line, sizeof line, pipe)) {
        fputs(line, stdout);
        if (char *eq = strchr(line, '=')) {
            *eq = 0;
            figures[line] = atof(eq + 1);
        }
    }
    pclose(pipe);
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    const char *device = argc > 1 ? argv[1] : "/dev/vororoveredi";
    std::map<std::string, double> raw = rawFigures(device);
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
    double emptyMedian, emptyP99, bigMedian, bigP99, nestedMedian, nestedP99;
    auto nested = LocalObject::create(ipc, std::vector<std::string>(),
                                      [](const RemoteRequest &, uint32_t, uint32_t, LocalReply *) { return kStatusOk; });
    // One unmeasured pass first: the first thousands of calls in a fresh
    // (emulated) machine are much slower than the rest.
    if (ipc && measure(ipc, 0, &emptyMedian, &emptyP99) && measure(ipc, 0, &emptyMedian, &emptyP99)
        && measure(ipc, 4096, &bigMedian, &bigP99) && measure(ipc, 0, &nestedMedian, &nestedP99, nested)) {
        auto start = Clock::now();
        Writer empty;
        int calls = 0;
        while (calls < kOneway
               && (calls < 10 || std::chrono::duration<double>(Clock::now() - start).count() < kPhaseSeconds)) {
            if (ipc->transactOneway(0, kCount, empty) != kStatusOk)
                break;
            ++calls;
        }
        int32_t count = 0;
        while (count < calls) {
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
        double oneway = count >= calls ? calls / seconds : 0.0;
        printf("nested_rtt_us_median=%.1f\n", nestedMedian);
        printf("oneway_calls_per_second=%.0f\n", oneway);
        // Library over driver: round trips want <= 1.5, one-way >= 0.5.
        auto ratio = [&](const char *name, double mine, const char *rawName) {
            auto it = raw.find(rawName);
            if (it != raw.end() && it->second > 0)
                printf("%s=%.2f\n", name, mine / it->second);
        };
        ratio("empty_rtt_ratio_to_raw", emptyMedian, "raw_empty_rtt_us_median");
        ratio("payload_4k_rtt_ratio_to_raw", bigMedian, "raw_payload_4k_rtt_us_median");
        ratio("oneway_ratio_to_raw", oneway, "raw_oneway_calls_per_second");
        rc = count >= calls ? 0 : 1;
    }
    ipc.reset();
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return rc;
}
