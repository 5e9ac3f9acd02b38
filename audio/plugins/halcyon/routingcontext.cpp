#include "routingcontext.h"

#include "halcyonlog_p.h"
#include "systemserver.h"

#include <naudio/audio.h>
#include <naudio/core.h>
#include <naudio/service.h>

#include <profiled/profiletracker.h>
#include <resourcepolicy/resourceset.h>

#include <pulse/proplist.h>

#include <cstdlib>
#include <cstring>
#include <unistd.h>

AudioLogModule halcyon_log = AUDIOLOG_MODULE_INIT("halcyon");
AudioLogModule halcyon_bare_log = AUDIOLOG_MODULE_INIT("");

namespace halcyon {

namespace {

const uint32_t kAudioResources = RESOURCE_AUDIO_PLAYBACK | RESOURCE_AUDIO_RECORDING;   // 5
const unsigned kVoiceRetryMs = 500;
const unsigned kSystemServerSeconds = 5;
const unsigned kResumeSeconds = 3;
const int kModeInCall = 2;
const int kModeInCommunication = 3;

NAudioHandle *audio(RoutingContext *ctx)
{
    return naudio_core_audio(ctx->core);
}

uint32_t streamType(RoutingContext *ctx, int ioHandle)
{
    NAudioHandle *h = audio(ctx);
    return h ? naudio_audio_stream_type(h, ioHandle) : 0;
}

// Messages to host services expect no answer.
void sendMessage(RoutingContext *ctx, const char *destination, const char *path, const char *interface,
                 const char *member, GVariant *args)
{
    if (!ctx->bus) {
        g_variant_unref(g_variant_ref_sink(args));
        return;
    }
    GDBusMessage *message = g_dbus_message_new_method_call(destination, path, interface, member);
    g_dbus_message_set_body(message, args);
    g_dbus_message_set_flags(message, GDBusMessageFlags(G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED
                                                        | G_DBUS_MESSAGE_FLAGS_NO_AUTO_START));
    g_dbus_connection_send_message(ctx->bus, message, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
    g_object_unref(message);
}

void sendPolicySignal(RoutingContext *ctx, const char *appId)
{
    if (ctx->bus)
        g_dbus_connection_emit_signal(ctx->bus, nullptr, "/", "org.nemomobile.policy",
                                      "privatePolicyActiveAppsupportChanged", g_variant_new("(s)", appId), nullptr);
}

void removeSource(guint *id)
{
    if (*id)
        g_source_remove(*id);
    *id = 0;
}

void onMediaGrant(resource_set *set, uint32_t granted, void *data);
void onMediaAdvice(resource_set *, uint32_t advice, void *)
{
    HALCYON_INFO("Media advice: %u", advice);
}
void onVoiceGrant(resource_set *set, uint32_t granted, void *data);

void createMediaSet(RoutingContext *ctx)
{
    if (ctx->mediaSet || !ctx->bus)
        return;
    HALCYON_INFO("Setup media resource set");
    ctx->mediaSet = resource_set_create(ctx->bus, "player", kAudioResources, 0, RESOURCE_MODE_AUTO_RELEASE,
                                        onMediaGrant, ctx);
    resource_set_set_advice_callback(ctx->mediaSet, onMediaAdvice, ctx);
    resource_set_configure_audio(ctx->mediaSet, "music", getpid(), "music");
}

void teardownMediaSet(RoutingContext *ctx)
{
    if (!ctx->mediaSet)
        return;
    HALCYON_INFO("Teardown media resource set");
    resource_set_release(ctx->mediaSet);
    resource_set_destroy(ctx->mediaSet);
    ctx->mediaSet = nullptr;
    ctx->mediaWanted = 0;
    ctx->mediaGranted = 0;
}

void acquireMedia(RoutingContext *ctx)
{
    createMediaSet(ctx);
    ctx->mediaWanted = 1;
    resource_set_acquire(ctx->mediaSet);
}

void releaseVoiceSet(RoutingContext *ctx)
{
    if (!ctx->voiceSet)
        return;
    HALCYON_INFO("Release voice resource set");
    if (NAudioHandle *h = audio(ctx))
        naudio_audio_req_voip(h, 0);
    resource_set_release(ctx->voiceSet);
    resource_set_destroy(ctx->voiceSet);
    ctx->voiceSet = nullptr;
}

void acquireVoiceSet(RoutingContext *ctx)
{
    teardownMediaSet(ctx);
    if (!ctx->voiceSet) {
        HALCYON_INFO("Create voice resource set.");
        ctx->voiceSet = resource_set_create(ctx->bus, "novumcall", kAudioResources, 0, RESOURCE_MODE_AUTO_RELEASE,
                                            onVoiceGrant, ctx);
        resource_set_configure_audio(ctx->voiceSet, "voice", getpid(), "voice");
    }
    if (ctx->voiceSet && !resource_set_is_acquiring(ctx->voiceSet)) {
        HALCYON_INFO("Acquire voice resource set.");
        ctx->voiceWanted = 1;
        resource_set_acquire(ctx->voiceSet);
    }
}

void sendCallState(RoutingContext *ctx)
{
    const char *state = nullptr;
    switch (ctx->mode) {
    case 0:
        state = "none";
        break;
    case 1:
        state = "ringing";
        break;
    case kModeInCall:
        break;
    case kModeInCommunication:
        state = "active";
        break;
    default:
        HALCYON_ERR("Unknown audio mode in %s", "set_call_state");
        state = "none";
        break;
    }
    AUDIOLOG_INFO(&halcyon_bare_log, "MCE set_call_state(%s)", state ? state : "<no change>");
    if (!state)
        return;
    sendMessage(ctx, "com.nokia.mce", "/com/nokia/mce/request", "com.nokia.mce.request", "req_call_state_change",
                g_variant_new("(ss)", state, "normal"));
    HALCYON_INFO("Set call state %s", state);
}

void sendSpeaker(RoutingContext *ctx)
{
    HALCYON_INFO("Set speaker %s", ctx->speaker ? "enabled" : "disabled");
    sendMessage(ctx, "org.nemomobile.Route.Manager", "/org/nemomobile/Route/Manager", "org.nemomobile.Route.Manager",
                ctx->speaker ? "Enable" : "Disable", g_variant_new("(s)", "speaker"));
}

void evaluateRouting(RoutingContext *ctx)
{
    HALCYON_INFO("Evaluate routing, mode (%d) speaker (%d)", ctx->mode, ctx->speaker);
    if (ctx->mode == kModeInCommunication) {
        acquireVoiceSet(ctx);
        sendSpeaker(ctx);
        return;
    }
    ctx->voiceWanted = 0;
    releaseVoiceSet(ctx);
    createMediaSet(ctx);
    sendCallState(ctx);
}

void onMediaGrant(resource_set *set, uint32_t granted, void *data)
{
    auto *ctx = static_cast<RoutingContext *>(data);
    if (set != ctx->mediaSet) {
        HALCYON_ERR("We shouldn't be here");
        return;
    }
    HALCYON_INFO("Media resource set grant %u", granted);
    if (granted) {
        ctx->mediaGranted = 1;
        return;
    }
    ctx->mediaGranted = 0;
    if (ctx->mediaWanted)
        naudio_service_req_pause(ctx->core, 1);
}

gboolean retryVoice(gpointer data)
{
    auto *ctx = static_cast<RoutingContext *>(data);
    ctx->voiceRetryTimer = 0;
    if (ctx->voiceWanted)
        acquireVoiceSet(ctx);
    return G_SOURCE_REMOVE;
}

void onVoiceGrant(resource_set *set, uint32_t granted, void *data)
{
    auto *ctx = static_cast<RoutingContext *>(data);
    if (set == ctx->mediaSet) {
        HALCYON_INFO("Media resource set grant %u", granted);
        return;
    }
    if (set != ctx->voiceSet) {
        HALCYON_ERR("We shouldn't be here");
        return;
    }
    HALCYON_INFO("Voice resource set grant %u", granted);
    if (granted) {
        if (NAudioHandle *h = audio(ctx))
            naudio_audio_req_voip(h, 1);
        sendCallState(ctx);
        sendSpeaker(ctx);
    } else if (ctx->voiceWanted) {
        HALCYON_INFO("Retry acuire in %d ms.", int(kVoiceRetryMs));
        if (!ctx->voiceRetryTimer)
            ctx->voiceRetryTimer = g_timeout_add(kVoiceRetryMs, retryVoice, ctx);
    }
}

void onProfileValue(const char *key, const char *value, const char *, void *data)
{
    auto *ctx = static_cast<RoutingContext *>(data);
    if (strcmp(key, "touchscreen.sound.level") != 0)
        return;
    const int level = atoi(value);
    HALCYON_INFO("touchscreen.sound.level -> %d", level);
    if (NAudioHandle *h = audio(ctx))
        naudio_audio_req_system_sounds(h, level != 0);
}

gboolean detectSystemServer(gpointer data)
{
    auto *ctx = static_cast<RoutingContext *>(data);
    const pid_t pid = systemServerPid();
    char *appId = pid > 0 ? resource_application_id(pid) : nullptr;
    if (!appId)
        return G_SOURCE_CONTINUE;
    HALCYON_INFO("system_server appeared with pid %d app_id %s", int(pid), appId);
    sendPolicySignal(ctx, appId);
    g_free(appId);
    ctx->systemServerTimer = 0;
    return G_SOURCE_REMOVE;
}

gboolean resumeAudio(gpointer data)
{
    auto *ctx = static_cast<RoutingContext *>(data);
    ctx->resumeTimer = 0;
    HALCYON_INFO("resume audio");
    createMediaSet(ctx);
    if (NAudioHandle *h = audio(ctx))
        naudio_audio_req_enable_audio(h, 1);
    ctx->hostCall = 0;
    return G_SOURCE_REMOVE;
}

} // namespace

bool speakerRequested(const char *parameters)
{
    if (!parameters)
        return false;
    bool speaker = false;
    gchar **pairs = g_strsplit(parameters, ";", -1);
    for (gchar **pair = pairs; *pair; ++pair) {
        gchar *trimmed = g_strstrip(*pair);
        if (!strncmp(trimmed, "routing=", 8))
            speaker = !strcmp(trimmed + 8, "2");
    }
    g_strfreev(pairs);
    return speaker;
}

void onServiceStart(RoutingContext *ctx)
{
    ctx->profile = profile_tracker_start(ctx->bus, onProfileValue, ctx);
    if (!ctx->profile)
        HALCYON_INFO("Failed to track profile changes.");
    createMediaSet(ctx);
}

void onServiceRegistered(RoutingContext *ctx, int registered)
{
    removeSource(&ctx->systemServerTimer);
    if (!registered) {
        HALCYON_INFO("system_server disappeared");
        sendPolicySignal(ctx, "none");
        return;
    }
    ctx->systemServerTimer = g_timeout_add_seconds(kSystemServerSeconds, detectSystemServer, ctx);
}

void onSetMode(RoutingContext *ctx, int mode)
{
    if (ctx->hostCall || mode == ctx->mode)
        return;
    ctx->mode = mode;
    evaluateRouting(ctx);
}

void onSetParameters(RoutingContext *ctx, const char *parameters)
{
    if (ctx->hostCall)
        return;
    const int speaker = speakerRequested(parameters) ? 1 : 0;
    if (speaker == ctx->speaker)
        return;
    ctx->speaker = speaker;
    evaluateRouting(ctx);
}

void onStreamCork(RoutingContext *ctx, int ioHandle, bool corked)
{
    HALCYON_INFO("%d %scorked", ioHandle, corked ? "" : "un");
    naudio_service_req_pause(ctx->core, corked ? 1 : 0);
}

void onStreamCreate(RoutingContext *ctx, int ioHandle, pa_proplist *properties)
{
    if (!properties)
        return;
    const uint32_t type = streamType(ctx, ioHandle);
    if (type & NAUDIO_STREAM_TYPE_VOICE) {
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "phone");
        pa_proplist_sets(properties, "module-stream-restore.id", "sink-input-by-media-role:voip");
    } else if (type & NAUDIO_STREAM_TYPE_RING) {
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "ring");
        pa_proplist_sets(properties, PA_PROP_EVENT_ID, "phone-incoming-call");
        pa_proplist_sets(properties, "module-stream-restore.id", "x-ringtone-volume");
    } else if (type & NAUDIO_STREAM_TYPE_ALARM) {
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
        pa_proplist_sets(properties, "module-stream-restore.id", "x-clock-alert-volume");
    } else if (type & NAUDIO_STREAM_TYPE_NOTIFICATION) {
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
        pa_proplist_sets(properties, "module-stream-restore.id", "x-ringtone-volume");
    }
}

void onStreamActive(RoutingContext *ctx, int ioHandle)
{
    HALCYON_INFO("stream %d active", ioHandle);
    if (!(streamType(ctx, ioHandle) & NAUDIO_STREAM_TYPE_MUSIC))
        return;
    HALCYON_INFO("Music stream active, acquire resources");
    ctx->musicActive = 1;
    if (!ctx->mediaGranted)
        acquireMedia(ctx);
}

void onStreamInactive(RoutingContext *ctx, int ioHandle)
{
    HALCYON_INFO("stream %d stopped", ioHandle);
    if (!(streamType(ctx, ioHandle) & NAUDIO_STREAM_TYPE_MUSIC))
        return;
    HALCYON_INFO("Music stream inactive, release resources");
    ctx->musicActive = 0;
    if (ctx->mediaSet) {
        HALCYON_INFO("Release media resource set");
        ctx->mediaWanted = 0;
        ctx->mediaGranted = 0;
        resource_set_release(ctx->mediaSet);
    }
}

void onAudioFocusChanged(RoutingContext *ctx, int focus)
{
    HALCYON_INFO("audio focus changed to %d", focus);
    if (focus != 1 && ctx->musicActive && !ctx->mediaGranted)
        acquireMedia(ctx);
}

void onCallStateChanged(RoutingContext *ctx, int state)
{
    if (state == 1 || state == 2) {
        HALCYON_INFO("Voice call state %s", state == 1 ? "RINGING" : "OFFHOOK");
        if (ctx->resumeTimer) {
            // A new call before the last one's audio came back: it stays off.
            HALCYON_INFO("Host voice call again, pending resume cancelled.");
            removeSource(&ctx->resumeTimer);
        }
        if (ctx->hostCall)
            return;
        HALCYON_INFO("Host voice call active, disable everything.");
        ctx->hostCall = 1;
        if (NAudioHandle *h = audio(ctx))
            naudio_audio_req_enable_audio(h, 0);
        ctx->voiceWanted = 0;
        releaseVoiceSet(ctx);
        teardownMediaSet(ctx);
        return;
    }
    HALCYON_INFO("Voice call state %s", state == 0 ? "IDLE" : "<?>");
    if (!ctx->hostCall)
        return;
    HALCYON_INFO("Host voice call inactive, resume operation in %d seconds.", int(kResumeSeconds));
    removeSource(&ctx->resumeTimer);
    HALCYON_INFO("setup resume audio");
    ctx->resumeTimer = g_timeout_add_seconds(kResumeSeconds, resumeAudio, ctx);
}

void shutdown(RoutingContext *ctx)
{
    removeSource(&ctx->systemServerTimer);
    sendPolicySignal(ctx, "none");
    removeSource(&ctx->resumeTimer);
}

void freeContext(RoutingContext *ctx)
{
    if (!ctx)
        return;
    profile_tracker_stop(ctx->profile);
    removeSource(&ctx->voiceRetryTimer);
    resource_set_destroy(ctx->mediaSet);
    resource_set_destroy(ctx->voiceSet);
    if (ctx->bus) {
        // What is queued goes out before the plugin's code does.
        g_dbus_connection_flush_sync(ctx->bus, nullptr, nullptr);
        g_object_unref(ctx->bus);
    }
    delete ctx;
}

} // namespace halcyon
