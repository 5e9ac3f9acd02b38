// Positions through ferryd-bridge-user: the test positioning plug-in emits
// a position, the bridge's GNSS HAL sends it to this process's IGnssCallback
// 2.1 object as Android's location service would receive it.
//
//   gnss_locations          (guest only: it serves /dev/hwvororoveredi)
//
// A HIDL service manager (ferry-servicemanager) serves the device, the
// bridge registers its GNSS HAL there, this process sets the callback,
// starts the HAL and feeds 2000 positions one after the other. Prints one
// name=value per line: positions delivered per second, and the median and
// 99th percentile delay from handing a position to the source to its
// arrival in the callback.

#include "benchsupport.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace ferry::binder;
using Clock = std::chrono::steady_clock;

namespace {

const char kDevice[] = "/dev/hwvororoveredi";
const char kGnss[] = "android.hardware.gnss@2.1::IGnss/default_novum";
constexpr int kPositions = 2000;
constexpr int kWarmUp = 100;

int fail(const char *why)
{
    std::fprintf(stderr, "gnss_locations: %s\n", why);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QProcess manager;
    manager.start(QStringLiteral(FERRY_SERVICEMANAGER_BIN), {QString::fromLatin1(kDevice), QStringLiteral("hidl")});
    if (!manager.waitForReadyRead(10000))
        return fail("no service manager");

    const QString socketPath = dir.path() + QStringLiteral("/position.sock");
    QProcess bridge;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(FERRY_TEST_PLUGIN_DIR));
    env.insert(QStringLiteral("FERRY_TEST_POSITION_SOCKET"), socketPath);
    bridge.setProcessEnvironment(env);
    bridge.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bridge.start(QStringLiteral(FERRY_BRIDGE_USER_BIN), QStringList());

    std::shared_ptr<ServiceManager> sm = ServiceManager::get(kDevice, Protocol::Hidl);
    std::shared_ptr<RemoteObject> gnss;
    if (!sm || !spinUntil([&] { return bool(gnss = sm->getServiceSync(kGnss)); }, 20000))
        return fail("the bridge's GNSS HAL never registered");

    std::vector<Clock::time_point> arrived(kPositions);
    int received = 0;
    auto callback = sm->newLocalObject(
        std::vector<std::string>{"android.hardware.gnss@2.1::IGnssCallback", "android.hardware.gnss@2.0::IGnssCallback",
                                 "android.hardware.gnss@1.1::IGnssCallback", "android.hardware.gnss@1.0::IGnssCallback"},
        [&](const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *reply) {
            if (code == 13) {
                Reader reader = request.reader();
                const void *data = nullptr;
                size_t size = 0;
                int64_t index = -1;
                if (reader.readBufferObject(&data, &size) && size == 88)
                    std::memcpy(&index, static_cast<const char *>(data) + 56, sizeof index);
                if (index >= 0 && index < kPositions) {
                    arrived[size_t(index)] = Clock::now();
                    ++received;
                }
            }
            if (reply)
                reply->writer().appendInt32(0);
            return kStatusOk;
        });
    Client client(gnss, "android.hardware.gnss@2.1::IGnss");
    for (uint32_t code : {34u, 2u}) {
        LocalRequest request = client.newRequest(code);
        if (code == 34)
            request.writer().appendLocalObject(callback);
        std::unique_ptr<RemoteReply> reply;
        if (client.transactSync(code, request, &reply) != kStatusOk)
            return fail("setCallback or start failed");
    }

    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000))
        return fail("no test positioning plug-in");
    std::vector<Clock::time_point> sent(kPositions);
    const Clock::time_point begin = Clock::now();
    for (int i = 0; i < kPositions; ++i) {
        sent[size_t(i)] = Clock::now();
        socket.write(QByteArray("{\"position\":{\"lat\":60.17,\"lon\":24.94,\"alt\":12,\"time\":")
                     + QByteArray::number(i) + "}}\n");
        socket.flush();
        if (!spinUntil([&] { return socket.canReadLine(); }, 10000))
            return fail("the plug-in stopped answering");
        socket.readLine();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    if (received != kPositions)
        return fail("positions were lost");

    std::vector<double> delays;
    for (int i = kWarmUp; i < kPositions; ++i)
        delays.push_back(std::chrono::duration<double, std::micro>(arrived[size_t(i)] - sent[size_t(i)]).count());
    std::sort(delays.begin(), delays.end());
    std::printf("gnss_positions_per_s=%.0f\n", kPositions / seconds);
    std::printf("gnss_delay_median_us=%.0f\n", delays[delays.size() / 2]);
    std::printf("gnss_delay_p99_us=%.0f\n", delays[delays.size() * 99 / 100]);

    bridge.terminate();
    bridge.waitForFinished(5000);
    manager.terminate();
    manager.waitForFinished(5000);
    return 0;
}
