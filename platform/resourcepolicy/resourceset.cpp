#include "resourcepolicy/resourceset.h"

#include <cstdio>
#include <cstring>

namespace {

const char *const kManagerName = "org.maemo.resource.manager";
const char *const kManagerPath = "/org/maemo/resource/manager";
const char *const kManagerInterface = "org.maemo.resource.manager";
const char *const kClientInterface = "org.maemo.resource.client";

// Static introspection data (reference count -1): nothing to parse or
// free, so a plugin that links this can be unloaded without leaving any.
GDBusArgInfo kResourcesArg = {-1, const_cast<gchar *>("resources"), const_cast<gchar *>("u"), nullptr};
GDBusArgInfo *kInArgs[] = {&kResourcesArg, nullptr};
GDBusMethodInfo kGrant = {-1, const_cast<gchar *>("grant"), kInArgs, nullptr, nullptr};
GDBusMethodInfo kAdvice = {-1, const_cast<gchar *>("advice"), kInArgs, nullptr, nullptr};
GDBusMethodInfo *kMethods[] = {&kGrant, &kAdvice, nullptr};
GDBusInterfaceInfo kClientInterfaceInfo = {-1, const_cast<gchar *>("org.maemo.resource.client"), kMethods, nullptr,
                                           nullptr, nullptr};

GDBusInterfaceInfo *clientInterface()
{
    return &kClientInterfaceInfo;
}

guint32 nextId()
{
    static guint32 id = 0;
    return ++id;
}

} // namespace

struct resource_set {
    GDBusConnection *bus;
    guint32 id;
    guint registration;
    ResourceSetFunc grant;
    void *grantData;
    ResourceSetFunc advice;
    void *adviceData;
    gboolean acquiring;
};

namespace {

void send(ResourceSet *set, const char *member, GVariant *args)
{
    g_dbus_connection_call(set->bus, kManagerName, kManagerPath, kManagerInterface, member, args, nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr, nullptr);
}

void onClientCall(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *method,
                  GVariant *parameters, GDBusMethodInvocation *invocation, gpointer userData)
{
    auto *set = static_cast<ResourceSet *>(userData);
    guint32 resources = 0;
    g_variant_get(parameters, "(u)", &resources);
    g_dbus_method_invocation_return_value(invocation, nullptr);
    if (!strcmp(method, "grant")) {
        set->acquiring = FALSE;
        if (set->grant)
            set->grant(set, resources, set->grantData);
    } else if (!strcmp(method, "advice") && set->advice) {
        set->advice(set, resources, set->adviceData);
    }
}

const GDBusInterfaceVTable kVTable = {onClientCall, nullptr, nullptr, {nullptr}};

} // namespace

extern "C" {

ResourceSet *resource_set_create(GDBusConnection *bus, const char *klass, uint32_t mandatory, uint32_t optional,
                                 uint32_t mode, ResourceSetFunc grant, void *grant_data)
{
    if (!bus || !klass)
        return nullptr;
    auto *set = g_new0(ResourceSet, 1);
    set->bus = G_DBUS_CONNECTION(g_object_ref(bus));
    set->id = nextId();
    set->grant = grant;
    set->grantData = grant_data;
    gchar *path = g_strdup_printf("/org/maemo/resource/client/%u", set->id);
    set->registration = g_dbus_connection_register_object(bus, path, clientInterface(), &kVTable, set, nullptr, nullptr);
    g_free(path);
    send(set, "register", g_variant_new("(usuuu)", set->id, klass, mandatory, optional, mode));
    return set;
}

void resource_set_set_advice_callback(ResourceSet *set, ResourceSetFunc advice, void *advice_data)
{
    if (!set)
        return;
    set->advice = advice;
    set->adviceData = advice_data;
}

void resource_set_configure_audio(ResourceSet *set, const char *group, pid_t pid, const char *stream_tag)
{
    if (set)
        send(set, "audio", g_variant_new("(usus)", set->id, group ? group : "", guint32(pid), stream_tag ? stream_tag : ""));
}

void resource_set_acquire(ResourceSet *set)
{
    if (!set)
        return;
    set->acquiring = TRUE;
    send(set, "acquire", g_variant_new("(u)", set->id));
}

void resource_set_release(ResourceSet *set)
{
    if (!set)
        return;
    set->acquiring = FALSE;
    send(set, "release", g_variant_new("(u)", set->id));
}

gboolean resource_set_is_acquiring(const ResourceSet *set)
{
    return set && set->acquiring;
}

void resource_set_destroy(ResourceSet *set)
{
    if (!set)
        return;
    send(set, "unregister", g_variant_new("(u)", set->id));
    if (set->registration)
        g_dbus_connection_unregister_object(set->bus, set->registration);
    g_object_unref(set->bus);
    g_free(set);
}

char *resource_application_id(pid_t pid)
{
    if (pid <= 0)
        return nullptr;
    gchar *file = g_strdup_printf("/proc/%d/cgroup", int(pid));
    gchar *content = nullptr;
    gsize length = 0;
    const gboolean ok = g_file_get_contents(file, &content, &length, nullptr);
    g_free(file);
    if (!ok)
        return nullptr;
    // "0::/path" (unified hierarchy) or the first "N:controllers:/path".
    char *id = nullptr;
    gchar **lines = g_strsplit(content, "\n", -1);
    for (gchar **line = lines; *line && !id; ++line) {
        const char *path = strchr(*line, ':');
        path = path ? strchr(path + 1, ':') : nullptr;
        if (path && path[1] == '/')
            id = g_strndup(path + 1, 255);
    }
    g_strfreev(lines);
    g_free(content);
    return id;
}

} // extern "C"
