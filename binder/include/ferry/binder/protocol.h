#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ferry::binder {

// The request header and reply conventions spoken on a device.
//
// Which protocol a device speaks is configuration:
//   - "/dev/hwvororoveredi" and "/dev/hwbinder" speak HIDL;
//   - every other device speaks AIDL in the variant of the runtime's SDK
//     level: 27 -> Aidl27, 28 -> Aidl28, 29 and later -> Aidl29. The level
//     is read from "ro.build.version.sdk" in the runtime's build properties,
//     "/opt/novum//build.prop"; the environment variable FERRY_BUILD_PROP
//     names another file (tests). Unknown level: Aidl28. A level outside
//     27 to 29 is logged as an error once per level (Android 11 and later
//     refuse the SDK 29 header) and still gets the nearest variant.
// Callers that know better pass the protocol to Ipc::get() or
// ServiceManager::get() explicitly.
//
// Request headers:
//   Aidl27, Aidl28: int32 strict-mode policy, String16 interface
//   Aidl29:         int32 policy, int32 work source (-1), String16 interface
//   Hidl:           interface as a NUL-terminated C string padded to 4
enum class Protocol { Aidl27, Aidl28, Aidl29, Hidl };

Protocol aidlProtocolForSdk(int sdk);                 // <=27 -> Aidl27, 28 -> Aidl28, >=29 -> Aidl29
int runtimeSdkLevel();                                // 0 when unknown
Protocol protocolForDevice(const std::string &device);
bool isHidlDevice(const std::string &device);
const char *protocolName(Protocol);                   // "aidl27", "aidl28", "aidl29", "hidl"
bool parseProtocol(std::string_view name, Protocol *out);

// Transaction codes every object answers.
constexpr uint32_t kPingTransaction = 0x5f504e47;       // '_PNG'
constexpr uint32_t kInterfaceTransaction = 0x5f4e5446;  // '_NTF'
constexpr uint32_t kFirstCallTransaction = 1;

// Transaction flags.
constexpr uint32_t kFlagOneway = 0x01;
constexpr uint32_t kFlagStatusCode = 0x08;
constexpr uint32_t kFlagAcceptFds = 0x10;

// IBase, answered by the library for every HIDL local object.
constexpr const char *kHidlBaseInterface = "android.hidl.base@1.0::IBase";
namespace hidl_base {
constexpr uint32_t kInterfaceChain = 0x0f43484e;
constexpr uint32_t kInterfaceDescriptor = 0x0f445343;
constexpr uint32_t kPing = 0x0f504e47;
constexpr uint32_t kGetHashChain = 0x0f485348;
constexpr uint32_t kGetDebugInfo = 0x0f524546;
constexpr uint32_t kDebug = 0x0f444247;
constexpr uint32_t kSetHalInstrumentation = 0x0f494e54;
constexpr uint32_t kNotifySyspropsChanged = 0x0f535953;
} // namespace hidl_base

constexpr int32_t kAidlStrictModePolicy = 0x00400000;

} // namespace ferry::binder
