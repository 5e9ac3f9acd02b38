// "hookrecorder": a plugin for the service's guest tests. It writes one
// line per hook the service invokes ("hookrecorder: hook <id> <value>"),
// and asks the service to pause or resume Android (audio focus) when the
// parameters "hookrecorder_pause=1" or "=0" are set.
#include <audiolog/audiolog.h>
#include <naudio/hook.h>
#include <naudio/plugin.h>
#include <naudio/service.h>

#include <gmodule.h>

#include <cstring>

namespace {

AudioLogModule recorder_log = AUDIOLOG_MODULE_INIT("hookrecorder");

const unsigned kIntHooks[] = {NAUDIO_HOOK_SERVICE_START, NAUDIO_HOOK_SERVICE_REGISTERED, NAUDIO_HOOK_SET_MODE,
                              NAUDIO_HOOK_AUDIO_FOCUS_CHANGED, NAUDIO_HOOK_CALL_STATE_CHANGED,
                              NAUDIO_HOOK_STREAM_ACTIVE, NAUDIO_HOOK_STREAM_INACTIVE};

struct IntHook {
    unsigned id;
};
IntHook g_hooks[sizeof kIntHooks / sizeof kIntHooks[0]];

void onInt(void *argument, void *userData, NAudioHookSlot *)
{
    AUDIOLOG_INFO(&recorder_log, "hook %u %d", static_cast<IntHook *>(userData)->id, NAUDIO_PTR_TO_INT(argument));
}

void onParameters(void *argument, void *userData, NAudioHookSlot *)
{
    const char *parameters = static_cast<const char *>(argument);
    AUDIOLOG_INFO(&recorder_log, "hook %u %s", NAUDIO_HOOK_SET_PARAMETERS, parameters);
    auto *plugin = static_cast<NAudioPlugin *>(userData);
    if (strstr(parameters, "hookrecorder_pause=1"))
        naudio_service_req_pause(plugin->core, 1);
    else if (strstr(parameters, "hookrecorder_pause=0"))
        naudio_service_req_pause(plugin->core, 0);
}

} // namespace

extern "C" {

G_MODULE_EXPORT gboolean naudio_plugin__init(NAudioPlugin *plugin)
{
    for (size_t i = 0; i < sizeof kIntHooks / sizeof kIntHooks[0]; ++i) {
        g_hooks[i].id = kIntHooks[i];
        naudio_plugin_hook_connect(plugin, kIntHooks[i], onInt, &g_hooks[i]);
    }
    naudio_plugin_hook_connect(plugin, NAUDIO_HOOK_SET_PARAMETERS, onParameters, plugin);
    AUDIOLOG_INFO(&recorder_log, "init");
    return TRUE;
}

G_MODULE_EXPORT void naudio_plugin__done(NAudioPlugin *)
{
    AUDIOLOG_INFO(&recorder_log, "done");
}

} // extern "C"
