/*
 * Interface of the audio service to its plugins. A plugin is a shared object
 * exporting
 *
 *     gboolean naudio_plugin__init(NAudioPlugin *plugin);
 *     void naudio_plugin__done(NAudioPlugin *plugin);
 *
 * init runs once after all plugins are loaded (the core exists, the audio
 * handle not yet); done runs at shut-down after the plugin's hook slots were
 * freed. Hooks connected through naudio_plugin_hook_connect are freed by the
 * service; the plugin must not free them itself.
 */
#ifndef NAUDIO_PLUGIN_H
#define NAUDIO_PLUGIN_H

#include <glib.h>

#include <naudio/hook.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NAUDIO_PLUGIN_INIT_SYMBOL "naudio_plugin__init"
#define NAUDIO_PLUGIN_DONE_SYMBOL "naudio_plugin__done"

typedef struct naudio_plugin {
    NAudioCore *core;       /* set before init */
    GSList *slots;          /* NAudioHookSlot *, owned by the service */
    void *user_data;        /* the plugin's own */
} NAudioPlugin;

typedef gboolean (*NAudioPluginInitFunc)(NAudioPlugin *plugin);
typedef void (*NAudioPluginDoneFunc)(NAudioPlugin *plugin);

/* Exported by the service program: connects through the core's hook list
 * and remembers the slot for freeing at shut-down. */
void naudio_plugin_hook_connect(NAudioPlugin *plugin, unsigned int hook,
    NAudioHookFunc callback, void *user_data);

#ifdef __cplusplus
}
#endif

#endif
