/*
 * The service side of the plugin interface: loading, starting, stopping and
 * unloading plugins. Plugins see only NAudioPlugin (naudio/plugin.h).
 *
 * The program that links this must export its symbols to the plugins it
 * loads (CMake: ENABLE_EXPORTS), so that they find
 * naudio_plugin_hook_connect.
 */
#ifndef NAUDIO_SERVICE_PLUGIN_INT_H
#define NAUDIO_SERVICE_PLUGIN_INT_H

#include <naudio/core.h>
#include <naudio/plugin.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct naudio_plugin_int NAudioPluginInt;

/* Opens the module (lazy, local binding) and finds both entry points;
 * NULL with an error line when it cannot. Fatal without a file name. */
NAudioPluginInt *naudio_plugin_int_open(const char *filename);
/* Hands the core to the plugin and runs its init entry; init's result. */
gboolean naudio_plugin_int_init(NAudioCore *core, NAudioPluginInt *plugin);
/* Frees every slot the plugin connected, then runs its done entry. */
void naudio_plugin_int_done(NAudioPluginInt *plugin);
/* Closes the module and frees the record; NULL is ignored. */
void naudio_plugin_int_close(NAudioPluginInt *plugin);

/* What the plugin sees of its record. */
NAudioPlugin *naudio_plugin_int_public(NAudioPluginInt *plugin);

#ifdef __cplusplus
}
#endif

#endif
