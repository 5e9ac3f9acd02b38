#include "hidl_base_p.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_request.h>

#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace ferry::binder {

namespace {

std::vector<std::string> interfaceChain(const LocalObject &object)
{
    std::vector<std::string> chain = object.interfaces();
    if (chain.empty() || chain.back() != kHidlBaseInterface)
        chain.emplace_back(kHidlBaseInterface);
    return chain;
}

struct DebugInfo {
    int32_t pid;
    uint32_t pad;
    uint64_t ptr;
    uint32_t arch;   // 1: 64-bit
    uint32_t pad2;
};

} // namespace

bool isHidlBaseCode(uint32_t code)
{
    using namespace hidl_base;
    switch (code) {
    case kInterfaceChain:
    case kInterfaceDescriptor:
    case kPing:
    case kGetHashChain:
    case kGetDebugInfo:
    case kDebug:
    case kSetHalInstrumentation:
    case kNotifySyspropsChanged:
        return true;
    default:
        return false;
    }
}

Status answerHidlBase(const LocalObject &object, const RemoteRequest &request, LocalReply *reply)
{
    using namespace hidl_base;
    if (!reply)
        return kStatusOk;   // setHALInstrumentation, notifySyspropsChanged: nothing to do
    Writer &w = reply->writer();
    switch (request.code()) {
    case kInterfaceChain:
        w.appendInt32(0);
        w.appendHidlStringVec(interfaceChain(object));
        return kStatusOk;
    case kInterfaceDescriptor:
        w.appendInt32(0);
        w.appendHidlString(interfaceChain(object).front());
        return kStatusOk;
    case kGetHashChain: {
        // Unknown hashes are all zero, one per interface of the chain.
        std::vector<uint8_t> hashes(interfaceChain(object).size() * 32, 0);
        w.appendInt32(0);
        w.appendHidlVec(hashes.data(), hashes.size() / 32, 32);
        return kStatusOk;
    }
    case kGetDebugInfo: {
        DebugInfo info {};
        info.pid = getpid();
        info.arch = sizeof(void *) == 8 ? 1 : 2;
        w.appendInt32(0);
        w.appendBufferObject(&info, sizeof info, nullptr);
        return kStatusOk;
    }
    case kPing:
    case kDebug:
    case kSetHalInstrumentation:
    case kNotifySyspropsChanged:
        w.appendInt32(0);
        return kStatusOk;
    default:
        return -EBADMSG;
    }
}

} // namespace ferry::binder
