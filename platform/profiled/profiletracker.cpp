#include "profiled/profiletracker.h"

namespace {
const char *const kName = "com.nokia.profiled";
const char *const kPath = "/com/nokia/profiled";
const char *const kInterface = "com.nokia.profiled";
const int kTimeoutMs = 2000;
}

struct profile_tracker {
    GDBusConnection *bus;
    guint subscription;
    ProfileValueFunc func;
    void *userData;
};

namespace {

void deliver(ProfileTracker *tracker, GVariantIter *values)
{
    const gchar *key = nullptr, *value = nullptr, *type = nullptr;
    while (g_variant_iter_next(values, "(&s&s&s)", &key, &value, &type))
        tracker->func(key, value, type, tracker->userData);
}

void onChanged(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *, GVariant *parameters,
               gpointer userData)
{
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(bbsa(sss))")))
        return;
    gboolean changed = FALSE, active = FALSE;
    const gchar *profile = nullptr;
    GVariantIter *values = nullptr;
    g_variant_get(parameters, "(bb&sa(sss))", &changed, &active, &profile, &values);
    if (active)
        deliver(static_cast<ProfileTracker *>(userData), values);
    g_variant_iter_free(values);
}

GVariant *call(GDBusConnection *bus, const char *method, GVariant *args, const char *replyType)
{
    return g_dbus_connection_call_sync(bus, kName, kPath, kInterface, method, args, G_VARIANT_TYPE(replyType),
                                       G_DBUS_CALL_FLAGS_NONE, kTimeoutMs, nullptr, nullptr);
}

} // namespace

extern "C" {

ProfileTracker *profile_tracker_start(GDBusConnection *bus, ProfileValueFunc func, void *user_data)
{
    if (!bus || !func)
        return nullptr;
    auto *tracker = g_new0(ProfileTracker, 1);
    tracker->bus = G_DBUS_CONNECTION(g_object_ref(bus));
    tracker->func = func;
    tracker->userData = user_data;
    // Subscribed before the values are read, so a change in between is
    // seen (at worst twice) rather than lost; the reads below also make sure
    // the bus has the match before this returns.
    tracker->subscription = g_dbus_connection_signal_subscribe(bus, nullptr, kInterface, "profile_changed", kPath,
                                                               nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onChanged, tracker,
                                                               nullptr);
    GVariant *profile = call(bus, "get_profile", nullptr, "(s)");
    GVariant *values = nullptr;
    if (profile) {
        const gchar *name = nullptr;
        g_variant_get(profile, "(&s)", &name);
        values = call(bus, "get_values", g_variant_new("(s)", name), "(a(sss))");
        g_variant_unref(profile);
    }
    if (!values) {
        profile_tracker_stop(tracker);
        return nullptr;
    }
    GVariantIter *iter = nullptr;
    g_variant_get(values, "(a(sss))", &iter);
    deliver(tracker, iter);
    g_variant_iter_free(iter);
    g_variant_unref(values);
    return tracker;
}

void profile_tracker_stop(ProfileTracker *tracker)
{
    if (!tracker)
        return;
    g_dbus_connection_signal_unsubscribe(tracker->bus, tracker->subscription);
    g_object_unref(tracker->bus);
    g_free(tracker);
}

} // extern "C"
