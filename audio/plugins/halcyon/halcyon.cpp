// The halcyon audio policy plugin of novumaudioservice: connects the
// policy of routingcontext.cpp to the service's hooks.
#include "halcyonlog_p.h"
#include "routingcontext.h"

#include <naudio/hook.h>
#include <naudio/plugin.h>

#include <gmodule.h>

namespace {

const char *const kVersion = "0.6.0";

RoutingContext *context(void *userData)
{
    return static_cast<RoutingContext *>(userData);
}

int intArgument(void *argument)
{
    return NAUDIO_PTR_TO_INT(argument);
}

void serviceStart(void *, void *data, NAudioHookSlot *) { halcyon::onServiceStart(context(data)); }
void serviceRegistered(void *arg, void *data, NAudioHookSlot *) { halcyon::onServiceRegistered(context(data), intArgument(arg)); }
void setMode(void *arg, void *data, NAudioHookSlot *) { halcyon::onSetMode(context(data), intArgument(arg)); }
void setParameters(void *arg, void *data, NAudioHookSlot *)
{
    halcyon::onSetParameters(context(data), static_cast<const char *>(arg));
}
void streamCork(void *arg, void *data, NAudioHookSlot *)
{
    const auto *cork = static_cast<const NAudioHookStreamCork *>(arg);
    halcyon::onStreamCork(context(data), int(cork->io_handle), cork->corked != 0);
}
void streamCreate(void *arg, void *data, NAudioHookSlot *)
{
    const auto *create = static_cast<const NAudioHookStreamCreate *>(arg);
    halcyon::onStreamCreate(context(data), int(create->io_handle), create->proplist);
}
void streamActive(void *arg, void *data, NAudioHookSlot *) { halcyon::onStreamActive(context(data), intArgument(arg)); }
void streamInactive(void *arg, void *data, NAudioHookSlot *) { halcyon::onStreamInactive(context(data), intArgument(arg)); }
void focusChanged(void *arg, void *data, NAudioHookSlot *) { halcyon::onAudioFocusChanged(context(data), intArgument(arg)); }
void callState(void *arg, void *data, NAudioHookSlot *) { halcyon::onCallStateChanged(context(data), intArgument(arg)); }

} // namespace

extern "C" {

G_MODULE_EXPORT void routing_handle_free(RoutingContext *ctx)
{
    halcyon::freeContext(ctx);
}

G_MODULE_EXPORT gboolean naudio_plugin__init(NAudioPlugin *plugin)
{
    HALCYON_INFO("init v%s", kVersion);
    auto *ctx = new RoutingContext;
    ctx->core = plugin->core;
    ctx->bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    if (!ctx->bus)
        HALCYON_ERR("Failed to get system bus.");
    else
        g_dbus_connection_set_exit_on_close(ctx->bus, FALSE);
    plugin->user_data = ctx;
    const struct {
        unsigned hook;
        NAudioHookFunc func;
    } hooks[] = {
        {NAUDIO_HOOK_SERVICE_START, serviceStart},   {NAUDIO_HOOK_SERVICE_REGISTERED, serviceRegistered},
        {NAUDIO_HOOK_SET_MODE, setMode},             {NAUDIO_HOOK_SET_PARAMETERS, setParameters},
        {NAUDIO_HOOK_STREAM_CORK, streamCork},       {NAUDIO_HOOK_STREAM_CREATE, streamCreate},
        {NAUDIO_HOOK_STREAM_ACTIVE, streamActive},   {NAUDIO_HOOK_STREAM_INACTIVE, streamInactive},
        {NAUDIO_HOOK_AUDIO_FOCUS_CHANGED, focusChanged}, {NAUDIO_HOOK_CALL_STATE_CHANGED, callState},
    };
    for (const auto &h : hooks)
        naudio_plugin_hook_connect(plugin, h.hook, h.func, ctx);
    return TRUE;
}

G_MODULE_EXPORT void naudio_plugin__done(NAudioPlugin *plugin)
{
    auto *ctx = context(plugin->user_data);
    if (ctx) {
        halcyon::shutdown(ctx);
        routing_handle_free(ctx);
    }
    plugin->user_data = nullptr;
    HALCYON_INFO("done");
}

} // extern "C"
