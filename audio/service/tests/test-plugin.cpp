// A plugin for the loader tests. Handlers append to the std::string that the
// hook argument points to; built once with both entry points and once
// without done.
#include <naudio/core.h>
#include <naudio/hook.h>
#include <naudio/plugin.h>

#include <gmodule.h>

#include <cstdlib>
#include <string>

namespace {

void appendA(void *argument, void *, NAudioHookSlot *)
{
    *static_cast<std::string *>(argument) += "a";
}

void appendB(void *argument, void *, NAudioHookSlot *)
{
    *static_cast<std::string *>(argument) += "b";
}

} // namespace

extern "C" {

G_MODULE_EXPORT gboolean naudio_plugin__init(NAudioPlugin *plugin)
{
    naudio_plugin_hook_connect(plugin, NAUDIO_HOOK_SET_PARAMETERS, appendA, nullptr);
    naudio_plugin_hook_connect(plugin, NAUDIO_HOOK_SET_PARAMETERS, appendB, nullptr);
    return getenv("NAUDIO_TEST_PLUGIN_FAIL") ? FALSE : TRUE;
}

#ifndef TEST_PLUGIN_WITHOUT_DONE
// Reports through the hook that it ran, and what its own handlers still do.
G_MODULE_EXPORT void naudio_plugin__done(NAudioPlugin *plugin)
{
    std::string *probe = static_cast<std::string *>(plugin->user_data);
    if (probe) {
        *probe += "done:";
        naudio_hook_invoke(naudio_core_hook(plugin->core), NAUDIO_HOOK_SET_PARAMETERS, probe);
    }
}
#endif

} // extern "C"
