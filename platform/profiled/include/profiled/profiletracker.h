/*
 * Values of the host profile daemon's active profile, over the system bus
 * (service "com.nokia.profiled", object "/com/nokia/profiled", interface
 * "com.nokia.profiled"): get_profile() -> s, get_values(s profile) ->
 * a(sss) of key, value and type, and the signal profile_changed(b changed,
 * b active, s profile, a(sss) values).
 */
#ifndef PROFILED_PROFILETRACKER_H
#define PROFILED_PROFILETRACKER_H

#include <gio/gio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct profile_tracker ProfileTracker;
/* One value of the active profile: at start and whenever it changes. */
typedef void (*ProfileValueFunc)(const char *key, const char *value, const char *type, void *user_data);

/* Subscribes to changes of the active profile and hands every current
 * value to |func| (a blocking call, bounded by a 2 s timeout). NULL when
 * the profile daemon does not answer. */
ProfileTracker *profile_tracker_start(GDBusConnection *bus, ProfileValueFunc func, void *user_data);
/* NULL is ignored. */
void profile_tracker_stop(ProfileTracker *tracker);

#ifdef __cplusplus
}
#endif

#endif
