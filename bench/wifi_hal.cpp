// Round trips of the calls Android's Wi-Fi framework makes most often to
// ferryd-bridge-user's Wi-Fi services: the station interface's
// getLinkLayerStats (a HIDL reply with a WifiStatus and a 160-byte record,
// four buffer objects) and wificond's signalPoll (a plain AIDL reply).
//
//   wifi_hal          (guest only: it serves /dev/hwvororoveredi and
//                      /dev/vororoveredi)
//
// Service managers (ferry-servicemanager) serve both devices; a child of
// this program (wifi_hal --serve) runs WifiService and WifiCondService as
// the bridge does; this process gets the station interface and the client
// interface as Android does and times 5000 calls of each after 200 of
// warm-up. Prints name=value lines: calls per second, median and 99th
// percentile in microseconds.

#include "benchsupport.h"
#include "wifi/wificondservice.h"
#include "wifi/wifiservice.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace ferry::binder;
using Clock = std::chrono::steady_clock;

namespace {

const char kHalDevice[] = "/dev/hwvororoveredi";
const char kAndroidDevice[] = "/dev/vororoveredi";
constexpr int kCalls = 5000;
constexpr int kWarmUp = 200;

int fail(const char *why)
{
    std::fprintf(stderr, "wifi_hal: %s\n", why);
    return 1;
}

// A call that hands out an object: the object.
std::shared_ptr<RemoteObject> object(const std::shared_ptr<RemoteObject> &remote, const char *interface,
                                     uint32_t code, bool hidl)
{
    Client client(remote, interface);
    LocalRequest request = client.newRequest(code);
    if (!hidl)
        request.writer().appendString16("wlan0");
    std::unique_ptr<RemoteReply> reply;
    if (client.transactSync(code, request, &reply) != kStatusOk || !reply)
        return nullptr;
    Reader reader = reply->reader();
    int32_t word;
    const void *data;
    size_t size;
    std::shared_ptr<RemoteObject> result;
    if (!reader.readInt32(&word) || (hidl && (!reader.readBufferObject(&data, &size) || !reader.readBufferObject(&data, &size)))
        || !reader.readObject(&result))
        return nullptr;
    return result;
}

bool measure(const char *name, const std::shared_ptr<RemoteObject> &remote, const char *interface, uint32_t code)
{
    Client client(remote, interface);
    std::vector<double> us;
    const Clock::time_point begin = Clock::now();
    for (int i = 0; i < kWarmUp + kCalls; ++i) {
        LocalRequest request = client.newRequest(code);
        std::unique_ptr<RemoteReply> reply;
        const Clock::time_point start = Clock::now();
        if (client.transactSync(code, request, &reply) != kStatusOk || !reply)
            return false;
        if (i >= kWarmUp)
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    std::sort(us.begin(), us.end());
    std::printf("%s_per_s=%.0f\n", name, (kWarmUp + kCalls) / seconds);
    std::printf("%s_median_us=%.1f\n", name, us[us.size() / 2]);
    std::printf("%s_p99_us=%.1f\n", name, us[us.size() * 99 / 100]);
    return true;
}

int serve(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    WifiService wifi(QString::fromLatin1(kHalDevice), nullptr);
    WifiCondService wificond(QString::fromLatin1(kAndroidDevice), 29, nullptr);
    std::printf("serving\n");
    std::fflush(stdout);
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--serve")
        return serve(argc, argv);
    QCoreApplication app(argc, argv);
    QProcess halManager, androidManager, services;
    // The variant the services will speak there (the runtime's SDK level).
    const Protocol aidl = protocolForDevice(kAndroidDevice);
    halManager.start(QStringLiteral(FERRY_SERVICEMANAGER_BIN), {QString::fromLatin1(kHalDevice), QStringLiteral("hidl")});
    androidManager.start(QStringLiteral(FERRY_SERVICEMANAGER_BIN), {QString::fromLatin1(kAndroidDevice), QString::fromLatin1(protocolName(aidl))});
    if (!halManager.waitForReadyRead(10000) || !androidManager.waitForReadyRead(10000))
        return fail("no service managers");
    services.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    services.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--serve")});

    const std::shared_ptr<ServiceManager> hal = ServiceManager::get(kHalDevice, Protocol::Hidl);
    const std::shared_ptr<ServiceManager> android = ServiceManager::get(kAndroidDevice, aidl);
    std::shared_ptr<RemoteObject> wifi, wificond;
    if (!hal || !android || !spinUntil([&] {
            wifi = wifi ? wifi : hal->getServiceSync("android.hardware.wifi@1.0::IWifi/default_novum");
            wificond = wificond ? wificond : android->getServiceSync("wificond");
            return wifi && wificond;
        }, 20000))
        return fail("the Wi-Fi services never registered");

    const auto chip = object(wifi, "android.hardware.wifi@1.0::IWifi", 6, true);
    const auto sta = chip ? object(chip, "android.hardware.wifi@1.0::IWifiChip", 22, true) : nullptr;
    const auto clientInterface = object(wificond, "android.net.wifi.IWificond", 2, false);
    if (!sta || !clientInterface)
        return fail("no station or client interface");
    if (!measure("wifi_link_layer_stats", sta, "android.hardware.wifi@1.0::IWifiStaIface", 13)
        || !measure("wificond_signal_poll", clientInterface, "android.net.wifi.IClientInterface", 2))
        return fail("a call failed");

    for (QProcess *p : {&services, &androidManager, &halManager}) {
        p->terminate();
        p->waitForFinished(5000);
    }
    return 0;
}
