// The driver's own limit for bench/binder_rtt: the same calls between two
// processes with nothing but BINDER_WRITE_READ, one ioctl per round trip on
// each side, no library.
//
//   binder_raw_rtt [DEVICE]    (default /dev/vororoveredi; needs the driver)
//
// Prints raw_empty_rtt_us_median, raw_empty_rtt_us_p99,
// raw_payload_4k_rtt_us_median, raw_payload_4k_rtt_us_p99 and
// raw_oneway_calls_per_second, one name=value per line.

#include <fcntl.h>
#include <linux/android/binder.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kEcho = 1;
constexpr uint32_t kCount = 2;     // one-way
constexpr uint32_t kGetCount = 3;
// Each figure takes this many calls or this long, whichever ends first:
// an emulated guest is a hundred times slower than a real machine.
constexpr int kCalls = 10000;
constexpr int kWarmUp = 1000;
constexpr int kOneway = 20000;
constexpr double kPhaseSeconds = 4.0;
constexpr double kWarmUpSeconds = 0.5;
constexpr size_t kMapSize = 1024 * 1024 - 8192;

struct Device {
    int fd = -1;
    void *map = nullptr;
};

bool openDevice(const char *path, Device *device)
{
    device->fd = open(path, O_RDWR | O_CLOEXEC);
    if (device->fd < 0)
        return false;
    device->map = mmap(nullptr, kMapSize, PROT_READ, MAP_PRIVATE | MAP_NORESERVE, device->fd, 0);
    return device->map != MAP_FAILED;
}

template <typename T>
void put(std::vector<uint8_t> &out, uint32_t command, const T &payload)
{
    const uint8_t *c = reinterpret_cast<const uint8_t *>(&command);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(&payload);
    out.insert(out.end(), c, c + sizeof command);
    out.insert(out.end(), p, p + sizeof payload);
}

// One write (if any) and one read; the read's bytes land in |in|.
bool talk(int fd, std::vector<uint8_t> &out, uint8_t *in, size_t inSize, size_t *got)
{
    binder_write_read bwr {};
    bwr.write_buffer = reinterpret_cast<binder_uintptr_t>(out.data());
    bwr.write_size = out.size();
    bwr.read_buffer = reinterpret_cast<binder_uintptr_t>(in);
    bwr.read_size = inSize;
    int rc;
    do {
        rc = ioctl(fd, BINDER_WRITE_READ, &bwr);
    } while (rc < 0 && errno == EINTR);
    out.clear();
    *got = bwr.read_consumed;
    return rc >= 0;
}

int serve(const char *path, int readyFd)
{
    Device device;
    int32_t unused = 0;
    if (!openDevice(path, &device) || ioctl(device.fd, BINDER_SET_CONTEXT_MGR, &unused) < 0)
        return 1;
    char ok = 1;
    if (write(readyFd, &ok, 1) != 1)
        return 1;
    close(readyFd);
    std::vector<uint8_t> out;
    uint32_t enter = BC_ENTER_LOOPER;
    out.insert(out.end(), reinterpret_cast<uint8_t *>(&enter), reinterpret_cast<uint8_t *>(&enter) + 4);
    uint8_t in[512];
    int32_t count = 0;
    for (;;) {
        size_t got;
        if (!talk(device.fd, out, in, sizeof in, &got))
            return 1;
        for (size_t pos = 0; pos + 4 <= got;) {
            uint32_t command;
            memcpy(&command, in + pos, 4);
            pos += 4 + _IOC_SIZE(command);
            if (command != BR_TRANSACTION)
                continue;
            binder_transaction_data tr;
            memcpy(&tr, in + pos - sizeof tr, sizeof tr);
            put(out, BC_FREE_BUFFER, binder_uintptr_t(tr.data.ptr.buffer));
            if (tr.flags & TF_ONE_WAY) {
                ++count;
                continue;
            }
            binder_transaction_data reply {};
            if (tr.code == kGetCount) {
                reply.data_size = sizeof count;
                reply.data.ptr.buffer = reinterpret_cast<binder_uintptr_t>(&count);
            } else {
                // The kernel copies the reply before the buffer is freed.
                reply.data_size = tr.data_size;
                reply.data.ptr.buffer = tr.data.ptr.buffer;
            }
            // Reply first: the buffer it copies from is freed after it.
            std::vector<uint8_t> free;
            free.swap(out);
            put(out, BC_REPLY, reply);
            out.insert(out.end(), free.begin(), free.end());
        }
    }
}

double percentile(std::vector<double> &v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// A two-way call; the reply's buffer is freed with the next write.
bool call(const Device &device, std::vector<uint8_t> &out, uint32_t code, const std::vector<uint8_t> &data,
          int32_t *value)
{
    binder_transaction_data tr {};
    tr.target.handle = 0;
    tr.code = code;
    tr.flags = TF_ACCEPT_FDS;
    tr.data_size = data.size();
    tr.data.ptr.buffer = reinterpret_cast<binder_uintptr_t>(data.data());
    put(out, BC_TRANSACTION, tr);
    uint8_t in[512];
    for (;;) {
        size_t got;
        if (!talk(device.fd, out, in, sizeof in, &got))
            return false;
        for (size_t pos = 0; pos + 4 <= got;) {
            uint32_t command;
            memcpy(&command, in + pos, 4);
            pos += 4 + _IOC_SIZE(command);
            if (command == BR_DEAD_REPLY || command == BR_FAILED_REPLY)
                return false;
            if (command != BR_REPLY)
                continue;
            binder_transaction_data reply;
            memcpy(&reply, in + pos - sizeof reply, sizeof reply);
            if (value && reply.data_size >= 4)
                memcpy(value, reinterpret_cast<const void *>(reply.data.ptr.buffer), 4);
            put(out, BC_FREE_BUFFER, binder_uintptr_t(reply.data.ptr.buffer));
            return true;
        }
    }
}

bool oneway(const Device &device, std::vector<uint8_t> &out)
{
    binder_transaction_data tr {};
    tr.code = kCount;
    tr.flags = TF_ONE_WAY;
    put(out, BC_TRANSACTION, tr);
    // The driver returns nothing but BR_NOOP into a buffer with less room
    // than a whole transaction record, however small the next command is.
    uint8_t in[256];
    for (;;) {
        size_t got;
        if (!talk(device.fd, out, in, sizeof in, &got))
            return false;
        for (size_t pos = 0; pos + 4 <= got;) {
            uint32_t command;
            memcpy(&command, in + pos, 4);
            pos += 4 + _IOC_SIZE(command);
            if (command == BR_TRANSACTION_COMPLETE)
                return true;
            if (command == BR_DEAD_REPLY || command == BR_FAILED_REPLY)
                return false;
        }
    }
}

bool measure(const Device &device, std::vector<uint8_t> &out, size_t payload, double *median, double *p99)
{
    std::vector<uint8_t> data(payload, 0x5a);
    std::vector<double> samples;
    auto begin = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };
    for (int i = 0; i < kWarmUp && elapsed() < kWarmUpSeconds; ++i) {
        if (!call(device, out, kEcho, data, nullptr))
            return false;
    }
    begin = Clock::now();
    while (samples.size() < size_t(kCalls) && (samples.size() < 10 || elapsed() < kPhaseSeconds)) {
        auto start = Clock::now();
        if (!call(device, out, kEcho, data, nullptr))
            return false;
        samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    *median = percentile(samples, 0.5);
    *p99 = percentile(samples, 0.99);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "/dev/vororoveredi";
    int fds[2];
    if (pipe(fds) != 0)
        return 1;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        _exit(serve(path, fds[1]));
    }
    close(fds[1]);
    char ok = 0;
    if (read(fds[0], &ok, 1) != 1 || ok != 1) {
        fprintf(stderr, "binder_raw_rtt: the server did not start on %s\n", path);
        return 1;
    }
    Device device;
    std::vector<uint8_t> out;
    int rc = 1;
    double emptyMedian, emptyP99, bigMedian, bigP99;
    if (openDevice(path, &device) && measure(device, out, 0, &emptyMedian, &emptyP99)
        && measure(device, out, 0, &emptyMedian, &emptyP99) && measure(device, out, 4096, &bigMedian, &bigP99)) {
        auto start = Clock::now();
        bool sent = true;
        int calls = 0;
        while (sent && calls < kOneway
               && (calls < 10 || std::chrono::duration<double>(Clock::now() - start).count() < kPhaseSeconds)) {
            sent = oneway(device, out);
            calls += sent;
        }
        int32_t count = 0;
        while (sent && count < calls && call(device, out, kGetCount, {}, &count)) {
        }
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        printf("raw_empty_rtt_us_median=%.1f\n", emptyMedian);
        printf("raw_empty_rtt_us_p99=%.1f\n", emptyP99);
        printf("raw_payload_4k_rtt_us_median=%.1f\n", bigMedian);
        printf("raw_payload_4k_rtt_us_p99=%.1f\n", bigP99);
        printf("raw_oneway_calls_per_second=%.0f\n", sent && count >= calls ? calls / seconds : 0.0);
        rc = sent && count >= calls ? 0 : 1;
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return rc;
}
