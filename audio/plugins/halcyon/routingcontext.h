// The halcyon policy: Android audio under the host's resource policy,
// call state, speaker routing and profile. One routing context per plugin
// instance; every handler runs on the service's GLib main loop.
#pragma once

#include <naudio/types.h>

#include <gio/gio.h>

struct profile_tracker;
struct resource_set;
struct pa_proplist;

struct RoutingContext {
    NAudioCore *core = nullptr;
    GDBusConnection *bus = nullptr;
    int mode = 0;
    int speaker = 0;
    resource_set *mediaSet = nullptr;
    int musicActive = 0;
    int mediaWanted = 0;
    int mediaGranted = 0;
    resource_set *voiceSet = nullptr;
    guint voiceRetryTimer = 0;
    guint systemServerTimer = 0;
    int voiceWanted = 0;
    int hostCall = 0;
    guint resumeTimer = 0;
    struct profile_tracker *profile = nullptr;
};

namespace halcyon {

void onServiceStart(RoutingContext *ctx);
void onServiceRegistered(RoutingContext *ctx, int registered);
void onSetMode(RoutingContext *ctx, int mode);
void onSetParameters(RoutingContext *ctx, const char *parameters);
void onStreamCork(RoutingContext *ctx, int ioHandle, bool corked);
void onStreamCreate(RoutingContext *ctx, int ioHandle, struct pa_proplist *properties);
void onStreamActive(RoutingContext *ctx, int ioHandle);
void onStreamInactive(RoutingContext *ctx, int ioHandle);
void onAudioFocusChanged(RoutingContext *ctx, int focus);
void onCallStateChanged(RoutingContext *ctx, int state);

// Whether Android's parameter string asks for the speaker ("routing=2"
// among its ';'-separated pairs).
bool speakerRequested(const char *parameters);

// Stops timers and sends "none" as the policy's app id.
void shutdown(RoutingContext *ctx);
// Stops profile tracking and the voice retry, destroys both resource sets, frees.
void freeContext(RoutingContext *ctx);

} // namespace halcyon
