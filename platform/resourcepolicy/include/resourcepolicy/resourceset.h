/*
 * Resource sets of the host's resource policy manager, spoken over the
 * system bus (service "org.maemo.resource.manager", object
 * "/org/maemo/resource/manager", interface "org.maemo.resource.manager").
 *
 * A set is registered with its class, mandatory and optional resources and
 * mode; the manager answers acquisitions with "grant" (the resources now
 * held, 0 = denied or lost) and may send "advice" (what could be granted).
 * Both arrive as method calls on the set's own object
 * "/org/maemo/resource/client/<id>", interface "org.maemo.resource.client",
 * each with one uint32. Requests carry the set's id:
 *
 *   register(u id, s class, u mandatory, u optional, u mode)
 *   audio(u id, s group, u pid, s stream_tag)
 *   acquire(u id), release(u id), unregister(u id)
 *
 * Requests expect no answer; callbacks run on the thread-default main
 * context of the creating thread.
 */
#ifndef RESOURCEPOLICY_RESOURCESET_H
#define RESOURCEPOLICY_RESOURCESET_H

#include <gio/gio.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RESOURCE_AUDIO_PLAYBACK 0x1u
#define RESOURCE_AUDIO_RECORDING 0x4u
#define RESOURCE_MODE_AUTO_RELEASE 0x2u

typedef struct resource_set ResourceSet;
typedef void (*ResourceSetFunc)(ResourceSet *set, uint32_t resources, void *user_data);

/* NULL without a connection. The set is registered at once. */
ResourceSet *resource_set_create(GDBusConnection *bus, const char *klass, uint32_t mandatory,
    uint32_t optional, uint32_t mode, ResourceSetFunc grant, void *grant_data);
void resource_set_set_advice_callback(ResourceSet *set, ResourceSetFunc advice, void *advice_data);
void resource_set_configure_audio(ResourceSet *set, const char *group, pid_t pid, const char *stream_tag);
void resource_set_acquire(ResourceSet *set);
void resource_set_release(ResourceSet *set);
/* An acquisition is under way: asked for and not answered yet. */
gboolean resource_set_is_acquiring(const ResourceSet *set);
/* Unregisters and frees; NULL is ignored. No callback runs afterwards. */
void resource_set_destroy(ResourceSet *set);

/* The policy's application id of a process: its control group path, as
 * the resource policy groups processes. NULL when it cannot be read.
 * Free with g_free. */
char *resource_application_id(pid_t pid);

#ifdef __cplusplus
}
#endif

#endif
