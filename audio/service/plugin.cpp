#include "plugin-int.h"

#include <audiolog/audiolog.h>
#include <gmodule.h>

#include <naudio/hook.h>

namespace {

AudioLogModule plugin_log = AUDIOLOG_MODULE_INIT("plugin");

#define PLUGIN_ASSERT(expr) AUDIOLOG_ASSERT_TEXT(&plugin_log, expr, #expr)

} // namespace

struct naudio_plugin_int {
    GModule *module;
    NAudioPlugin pub;
    NAudioPluginInitFunc init;
    NAudioPluginDoneFunc done;
};

extern "C" {

NAudioPluginInt *naudio_plugin_int_open(const char *filename)
{
    PLUGIN_ASSERT(filename);
    GModule *module = g_module_open(filename, static_cast<GModuleFlags>(G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL));
    if (!module) {
        AUDIOLOG_ERR(&plugin_log, "Failed to open plugin from %s", filename);
        AUDIOLOG_DEBUG(&plugin_log, "%s", g_module_error());
        return nullptr;
    }
    gpointer init = nullptr, done = nullptr;
    if (!g_module_symbol(module, NAUDIO_PLUGIN_INIT_SYMBOL, &init) || !init) {
        AUDIOLOG_ERR(&plugin_log, "Could not get 'init' from %s", filename);
        g_module_close(module);
        return nullptr;
    }
    if (!g_module_symbol(module, NAUDIO_PLUGIN_DONE_SYMBOL, &done) || !done) {
        AUDIOLOG_ERR(&plugin_log, "Could not get 'done' from %s", filename);
        g_module_close(module);
        return nullptr;
    }
    auto *plugin = g_new0(NAudioPluginInt, 1);
    plugin->module = module;
    plugin->init = reinterpret_cast<NAudioPluginInitFunc>(init);
    plugin->done = reinterpret_cast<NAudioPluginDoneFunc>(done);
    return plugin;
}

gboolean naudio_plugin_int_init(NAudioCore *core, NAudioPluginInt *plugin)
{
    PLUGIN_ASSERT(core);
    PLUGIN_ASSERT(plugin);
    PLUGIN_ASSERT(plugin->init);
    plugin->pub.core = core;
    return plugin->init(&plugin->pub);
}

void naudio_plugin_int_done(NAudioPluginInt *plugin)
{
    PLUGIN_ASSERT(plugin);
    PLUGIN_ASSERT(plugin->done);
    g_slist_free_full(plugin->pub.slots, [](gpointer slot) {
        naudio_hook_slot_free(static_cast<NAudioHookSlot *>(slot));
    });
    plugin->pub.slots = nullptr;
    plugin->done(&plugin->pub);
}

void naudio_plugin_int_close(NAudioPluginInt *plugin)
{
    if (!plugin)
        return;
    // Slots of a plugin that never got its done call go before its code does.
    g_slist_free_full(plugin->pub.slots, [](gpointer slot) {
        naudio_hook_slot_free(static_cast<NAudioHookSlot *>(slot));
    });
    if (plugin->module)
        g_module_close(plugin->module);
    g_free(plugin);
}

NAudioPlugin *naudio_plugin_int_public(NAudioPluginInt *plugin)
{
    return plugin ? &plugin->pub : nullptr;
}

void naudio_plugin_hook_connect(NAudioPlugin *plugin, unsigned int hook, NAudioHookFunc callback, void *user_data)
{
    PLUGIN_ASSERT(plugin);
    PLUGIN_ASSERT(plugin->core);
    NAudioHookSlot *slot = naudio_hook_connect(naudio_core_hook(plugin->core), hook, callback, user_data);
    plugin->slots = g_slist_prepend(plugin->slots, slot);
}

} // extern "C"
