#include "naudio/audio.h"
#include "naudio/core.h"
#include "naudio/hook.h"
#include "naudio/service.h"

#include "log_p.h"

struct naudio_core {
    NAudioHookList *hook;
    NAudioHandle *audio;
};

extern "C" {

NAudioCore *naudio_core_new(void)
{
    return new NAudioCore{naudio_hook_new(), nullptr};
}

void naudio_core_free(NAudioCore *core)
{
    if (!core)
        return;
    naudio_hook_free(core->hook);
    core->hook = nullptr;
    // The handle is freed after the hooks: nothing may be connected by now,
    // so its teardown (stream releases) reaches no handler.
    NAudioHandle *audio = core->audio;
    core->audio = nullptr;
    naudio_audio_free(audio);
    delete core;
}

NAudioHookList *naudio_core_hook(NAudioCore *core)
{
    return core ? core->hook : nullptr;
}

NAudioHandle *naudio_core_audio(NAudioCore *core)
{
    return core ? core->audio : nullptr;
}

void naudio_core_set_audio(NAudioCore *core, NAudioHandle *audio)
{
    NAUDIO_ASSERT(core);
    if (core->audio == audio)
        return;
    NAudioHandle *old = core->audio;
    core->audio = audio;
    naudio_audio_free(old);
}

void naudio_service_req_audio_focus(NAudioCore *core, int focus_type, int acquire)
{
    NAUDIO_ASSERT(core);
    NAudioHookAudioFocus focus = {focus_type, acquire};
    naudio_hook_invoke(core->hook, NAUDIO_HOOK_REQ_AUDIO_FOCUS, &focus);
}

void naudio_service_req_pause(NAudioCore *core, int pause)
{
    naudio_service_req_audio_focus(core, NAUDIO_FOCUS_TYPE_TRANSIENT, pause);
}

} // extern "C"
