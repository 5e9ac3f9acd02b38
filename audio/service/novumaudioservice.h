// "NovumAudioService": the binder service Android's audio HAL opens, writes,
// reads and closes its streams through (interface "NovumAudioService@1.0"
// on the vendor device). Stream data travels in the shared buffer the HAL
// hands over at open; a write or read names the slot and the byte count.
#pragma once

#include <memory>

namespace ferry::binder {
class LocalObject;
class ServiceManager;
}

class AudioService;

constexpr const char *kNovumAudioServiceInterface = "NovumAudioService@1.0";

std::shared_ptr<ferry::binder::LocalObject>
createNovumAudioService(ferry::binder::ServiceManager &vendorManager, AudioService *service);
