#include "novumaudiocontrollistener.h"

#include "audioservice.h"
#include "servicelog_p.h"

#include <naudio/hook.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

using namespace ferry::binder;

namespace {
enum : uint32_t {
    kOnAudioFocusChanged = 1,
    kOnCallStateChanged = 2,
};
}

std::shared_ptr<LocalObject> createNovumAudioControlListener(ServiceManager &manager, AudioService *service)
{
    return manager.newLocalObject(kAudioControlListenerInterface,
        [service](const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *) -> Status {
            Reader in = request.reader();
            int32_t value = 0;
            switch (code) {
            case kOnAudioFocusChanged:
                if (!in.readInt32(&value))
                    return kStatusFailed;
                SERVICE_INFO("%s.onAudioFocusChanged(%d)", kAudioControlListenerInterface, value);
                service->invokeHook(NAUDIO_HOOK_AUDIO_FOCUS_CHANGED, NAUDIO_INT_TO_PTR(value));
                return kStatusOk;
            case kOnCallStateChanged:
                if (!in.readInt32(&value))
                    return kStatusFailed;
                SERVICE_INFO("%s.onCallStateChanged(%d)", kAudioControlListenerInterface, value);
                service->invokeHook(NAUDIO_HOOK_CALL_STATE_CHANGED, NAUDIO_INT_TO_PTR(value));
                return kStatusOk;
            default:
                SERVICE_ERR("Unknown %s code (%u)", kAudioControlListenerInterface, code);
                return kStatusOk;
            }
        });
}
