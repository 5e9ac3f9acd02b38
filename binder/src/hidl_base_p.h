#pragma once

#include <ferry/binder/status.h>

#include <cstdint>

namespace ferry::binder {

class LocalObject;
class LocalReply;
class RemoteRequest;

bool isHidlBaseCode(uint32_t code);
// The IBase methods every HIDL object answers.
Status answerHidlBase(const LocalObject &object, const RemoteRequest &request, LocalReply *reply);

} // namespace ferry::binder
