#include <ferry/binder/log.h>
#include <ferry/binder/protocol.h>

#include "rpc_protocol_p.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

namespace ferry::binder {

namespace {
constexpr const char *kBuildPropPath = "/opt/novum//build.prop";
constexpr int kDefaultSdk = 28;
constexpr size_t kMaxReportedSdks = 32;

// Android 11 and later put a marker word before the interface token, so
// every request of ours is refused there; older releases speak other codes.
// Said once per level, not once per device or call.
void reportUnsupportedSdk(int sdk)
{
    static std::mutex mutex;
    static std::set<int> reported;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (reported.count(sdk) || reported.size() >= kMaxReportedSdks)
            return;
        reported.insert(sdk);
    }
    BINDER_ERR("unsupported Android SDK level %d (27 to 29 are supported): requests go out with the SDK %d header, "
               "which this runtime is likely to refuse", sdk, sdk > 29 ? 29 : 27);
}

} // namespace

Protocol aidlProtocolForSdk(int sdk)
{
    if (sdk < 27 || sdk > 29)
        reportUnsupportedSdk(sdk);
    if (sdk >= 29)
        return Protocol::Aidl29;
    if (sdk == 28)
        return Protocol::Aidl28;
    return Protocol::Aidl27;
}

int runtimeSdkLevel()
{
    const char *overridePath = getenv("FERRY_BUILD_PROP");
    std::ifstream in(overridePath && *overridePath ? overridePath : kBuildPropPath);
    std::string line;
    static const std::string key = "ro.build.version.sdk=";
    while (std::getline(in, line)) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size());
        while (!value.empty() && (value.back() == '\r' || value.back() == ' '))
            value.pop_back();
        char *end = nullptr;
        long sdk = strtol(value.c_str(), &end, 10);
        if (value.empty() || *end || sdk <= 0 || sdk > 1000)
            return 0;
        return int(sdk);
    }
    return 0;
}

bool isHidlDevice(const std::string &device)
{
    return device == "/dev/hwvororoveredi" || device == "/dev/hwbinder";
}

Protocol protocolForDevice(const std::string &device)
{
    if (isHidlDevice(device))
        return Protocol::Hidl;
    int sdk = runtimeSdkLevel();
    if (sdk <= 0) {
        BINDER_DEBUG("no SDK level known, %s speaks the SDK %d protocol", device.c_str(), kDefaultSdk);
        sdk = kDefaultSdk;
    }
    return aidlProtocolForSdk(sdk);
}

const char *protocolName(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Aidl27: return "aidl27";
    case Protocol::Aidl28: return "aidl28";
    case Protocol::Aidl29: return "aidl29";
    case Protocol::Hidl: return "hidl";
    }
    return "?";
}

bool parseProtocol(std::string_view name, Protocol *out)
{
    for (Protocol p : {Protocol::Aidl27, Protocol::Aidl28, Protocol::Aidl29, Protocol::Hidl}) {
        if (name == protocolName(p)) {
            *out = p;
            return true;
        }
    }
    return false;
}

const RpcProtocol &RpcProtocol::forProtocol(Protocol protocol)
{
    switch (protocol) {
    case Protocol::Aidl27:
    case Protocol::Aidl28:
        return aidl27Protocol();
    case Protocol::Aidl29:
        return aidl29Protocol();
    case Protocol::Hidl:
        break;
    }
    return hidlProtocol();
}

} // namespace ferry::binder
