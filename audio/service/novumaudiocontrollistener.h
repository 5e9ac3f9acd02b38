// "android.media.INovumAudioControlListener": the object Android's audio
// control service tells focus and call state changes.
#pragma once

#include <memory>

namespace ferry::binder {
class LocalObject;
class ServiceManager;
}

class AudioService;

constexpr const char *kAudioControlListenerInterface = "android.media.INovumAudioControlListener";

std::shared_ptr<ferry::binder::LocalObject>
createNovumAudioControlListener(ferry::binder::ServiceManager &manager, AudioService *service);
