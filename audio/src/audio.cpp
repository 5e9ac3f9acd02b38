#include "naudio/audio.h"
#include "naudio/core.h"
#include "naudio/hook.h"

#include "audio_p.h"
#include "log_p.h"
#include "record-buffer_p.h"

#include <glib.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int RETRY_LIMIT = 39;
constexpr gulong RETRY_SLEEP_US = 25000;
constexpr int DEFAULT_LATENCY_MS = 100;
constexpr pa_stream_flags_t STREAM_FLAGS = static_cast<pa_stream_flags_t>(
    PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
const char *const CLIENT_NAME = "NovumAudioService";

struct StreamTypeName {
    uint32_t bit;
    const char *name;
};

// Searched in this order: the first bit set names the stream.
const StreamTypeName STREAM_TYPE_NAMES[] = {
    {NAUDIO_STREAM_TYPE_PRIMARY, "primary"},
    {NAUDIO_STREAM_TYPE_SYSTEM, "system"},
    {NAUDIO_STREAM_TYPE_MUSIC, "music"},
    {NAUDIO_STREAM_TYPE_NOTIFICATION, "notification"},
    {NAUDIO_STREAM_TYPE_ALARM, "alarm"},
    {NAUDIO_STREAM_TYPE_VOICE, "voice"},
    {NAUDIO_STREAM_TYPE_RING, "ring"},
    {NAUDIO_STREAM_TYPE_RECORD, "record"},
    {NAUDIO_STREAM_TYPE_RECORD_VOICE, "record-voice"},
};

const char *streamTypeName(uint32_t type)
{
    for (const auto &entry : STREAM_TYPE_NAMES) {
        if (type & entry.bit)
            return entry.name;
    }
    return "unknown";
}

const char *stateBitName(uint32_t bit)
{
    switch (bit) {
    case NAUDIO_STREAM_STATE_ACTIVE: return "ACTIVE";
    case NAUDIO_STREAM_STATE_DISABLED: return "DISABLED";
    case NAUDIO_STREAM_STATE_CORKED: return "CORKED";
    case NAUDIO_STREAM_STATE_STANDBY: return "STANDBY";
    case NAUDIO_STREAM_STATE_STOPPED: return "STOPPED";
    default: return "<unknown>";
    }
}

const char *contextStateName(pa_context_state_t state)
{
    switch (state) {
    case PA_CONTEXT_UNCONNECTED: return "unconnected";
    case PA_CONTEXT_CONNECTING: return "connecting";
    case PA_CONTEXT_AUTHORIZING: return "authorizing";
    case PA_CONTEXT_SETTING_NAME: return "setting_name";
    case PA_CONTEXT_READY: return "ready";
    case PA_CONTEXT_FAILED: return "failed";
    case PA_CONTEXT_TERMINATED: return "terminated";
    }
    return "<invalid>";
}

const char *streamStateName(pa_stream_state_t state)
{
    switch (state) {
    case PA_STREAM_UNCONNECTED: return "unconnected";
    case PA_STREAM_CREATING: return "creating";
    case PA_STREAM_READY: return "ready";
    case PA_STREAM_FAILED: return "failed";
    case PA_STREAM_TERMINATED: return "terminated";
    }
    return "<invalid>";
}

} // namespace

// One slot: an Android io handle and at most one PulseAudio stream.
struct NAudioStream {
    NAudioHandle *handle = nullptr;
    pa_stream *stream = nullptr;
    std::atomic<uint64_t> latency{0};
    std::atomic<uint32_t> state{0};
    pa_sample_format_t format = PA_SAMPLE_S16LE;
    uint32_t rate = 0;
    uint8_t channels = 0;
    pa_channel_map map{};
    bool mapValid = false;
    uint32_t type = 0;
    const char *name = "unknown";
    int32_t io_handle = 0;
    // Android's io handles are plain numbers; 0 is not reserved for "free".
    bool used = false;
    pa_stream_direction_t direction = PA_STREAM_NODIRECTION;
    int index = 0;
    // Bumped for every PulseAudio stream, so that a deferred disconnect
    // never hits a stream created after the event that asked for it.
    uint64_t generation = 0;
    // Bumped by every cork or uncork we ask for; a server answer about the
    // cork state that predates one of those is stale.
    std::atomic<uint32_t> corkRequests{0};
    naudio::RecordBuffer overrun;
    // Bytes the reader takes at a time (inputs): the fragment size asked of
    // the server, so that what a read leaves over fits the remainder buffer.
    uint32_t fragment = 0;
};

struct naudio_handle {
    NAudioCore *core = nullptr;
    pa_threaded_mainloop *mainloop = nullptr;
    pa_context *context = nullptr;
    std::atomic<int> connected{0};
    int retry = 0;
    NAudioStream outputs[NAUDIO_OUTPUT_STREAMS_COUNT_MAX];
    NAudioStream inputs[NAUDIO_RECORD_STREAMS_COUNT_MAX];
    int voip = 0;
    int music_active = 0;
    int system_sounds_off = 0;
    int audio_enabled = 1;

    // Idle sources scheduled from PulseAudio's thread and not yet run.
    std::mutex deferredMutex;
    std::vector<GSource *> deferred;
};

namespace {

enum class DeferredKind { CorkChanged, Disconnect };

struct Deferred {
    NAudioHandle *handle;
    NAudioStream *stream;
    DeferredKind kind;
    int32_t io_handle;
    uint64_t generation;
    int64_t corked;
    GSource *source;
};

void invokeHook(NAudioHandle *h, unsigned int hook, void *argument)
{
    NAudioHookList *list = naudio_core_hook(h->core);
    if (list)
        naudio_hook_invoke(list, hook, argument);
}

void mainloopSignal(NAudioHandle *h)
{
    if (h->mainloop)
        pa_threaded_mainloop_signal(h->mainloop, 0);
}

// Locks unless already on PulseAudio's thread (whose callbacks hold the lock).
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop *loop)
        : m_loop(loop && !pa_threaded_mainloop_in_thread(loop) ? loop : nullptr)
    {
        if (m_loop)
            pa_threaded_mainloop_lock(m_loop);
    }
    ~LoopLock()
    {
        if (m_loop)
            pa_threaded_mainloop_unlock(m_loop);
    }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

void stateSet(NAudioStream *s, uint32_t bit)
{
    const uint32_t old = s->state.fetch_or(bit);
    if (old & bit)
        return;
    AUDIOLOG_DEBUG(NAUDIO_LOG, "[%s] %s stream state %s.", s->name, "set", stateBitName(bit));
    if (bit == NAUDIO_STREAM_STATE_ACTIVE)
        invokeHook(s->handle, NAUDIO_HOOK_STREAM_ACTIVE, NAUDIO_INT_TO_PTR(s->io_handle));
}

void stateUnset(NAudioStream *s, uint32_t bit, bool quiet = false)
{
    const uint32_t old = s->state.fetch_and(~bit);
    if (!(old & bit))
        return;
    if (!quiet)
        AUDIOLOG_DEBUG(NAUDIO_LOG, "[%s] %s stream state %s.", s->name, "unset", stateBitName(bit));
    if (bit == NAUDIO_STREAM_STATE_ACTIVE)
        invokeHook(s->handle, NAUDIO_HOOK_STREAM_INACTIVE, NAUDIO_INT_TO_PTR(s->io_handle));
}

bool stateHas(const NAudioStream *s, uint32_t bits)
{
    return (s->state.load() & bits) != 0;
}

bool isOutput(const NAudioStream *s)
{
    return s->direction == PA_STREAM_PLAYBACK;
}

// ---- deferred work on the GLib main loop ----------------------------------

void audioRelease(NAudioStream *s, bool forced);

gboolean deferredRun(gpointer data)
{
    auto *d = static_cast<Deferred *>(data);
    NAudioHandle *h = d->handle;
    {
        std::lock_guard<std::mutex> lock(h->deferredMutex);
        auto it = std::find(h->deferred.begin(), h->deferred.end(), d->source);
        if (it != h->deferred.end()) {
            h->deferred.erase(it);
            g_source_unref(d->source);
        }
    }
    if (d->kind == DeferredKind::CorkChanged) {
        NAudioHookStreamCork cork = {d->io_handle, d->corked};
        invokeHook(h, NAUDIO_HOOK_STREAM_CORK, &cork);
    } else {
        NAudioStream *s = d->stream;
        if (s->used && s->io_handle == d->io_handle && s->generation == d->generation) {
            AUDIOLOG_INFO(NAUDIO_LOG, "[%s] Disconnected stream uncorked.", s->name);
            if (stateHas(s, NAUDIO_STREAM_STATE_STOPPED))
                invokeHook(h, NAUDIO_HOOK_STREAM_STOP, NAUDIO_INT_TO_PTR(s->io_handle));
            audioRelease(s, true);
        }
    }
    return G_SOURCE_REMOVE;
}

void deferredFree(gpointer data)
{
    delete static_cast<Deferred *>(data);
}

void schedule(NAudioStream *s, DeferredKind kind, int64_t corked)
{
    NAudioHandle *h = s->handle;
    auto *d = new Deferred{h, s, kind, s->io_handle, s->generation, corked, nullptr};
    std::lock_guard<std::mutex> lock(h->deferredMutex);
    d->source = g_idle_source_new();
    g_source_set_callback(d->source, deferredRun, d, deferredFree);
    h->deferred.push_back(d->source);
    g_source_attach(d->source, nullptr);
}

void cancelDeferred(NAudioHandle *h)
{
    std::vector<GSource *> pending;
    {
        std::lock_guard<std::mutex> lock(h->deferredMutex);
        pending.swap(h->deferred);
    }
    for (GSource *source : pending) {
        g_source_destroy(source);
        g_source_unref(source);
    }
}

// ---- PulseAudio callbacks (PulseAudio's thread, lock held) ---------------

void contextStateCb(pa_context *c, void *userdata)
{
    auto *h = static_cast<NAudioHandle *>(userdata);
    const pa_context_state_t state = pa_context_get_state(c);
    AUDIOLOG_DEBUG(NAUDIO_LOG, "Context state %s", contextStateName(state));
    switch (state) {
    case PA_CONTEXT_READY:
        h->connected = 1;
        mainloopSignal(h);
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        h->connected = 0;
        mainloopSignal(h);
        break;
    default:
        break;
    }
}

void streamSignalCb(pa_stream *, void *userdata)
{
    mainloopSignal(static_cast<NAudioStream *>(userdata)->handle);
}

void streamRequestCb(pa_stream *, size_t, void *userdata)
{
    mainloopSignal(static_cast<NAudioStream *>(userdata)->handle);
}

void streamLatencyCb(pa_stream *p, void *userdata)
{
    auto *s = static_cast<NAudioStream *>(userdata);
    pa_usec_t usec = 0;
    int negative = 0;
    if (pa_stream_get_latency(p, &usec, &negative) == 0 && !negative && usec) {
        const uint64_t average = s->latency.load();
        s->latency.store(average ? (average + usec) / 2 : usec);
    }
    mainloopSignal(s->handle);
}

void streamSuccessCb(pa_stream *, int success, void *userdata)
{
    auto *s = static_cast<NAudioStream *>(userdata);
    AUDIOLOG_DEBUG(NAUDIO_LOG, "[%s] Stream success callback: %d", s->name, success);
    mainloopSignal(s->handle);
}

// Lock held.
void streamCork(NAudioStream *s, bool cork)
{
    if (!s->stream) {
        AUDIOLOG_ERR(NAUDIO_LOG, "Stream cork error, %p (%p)", static_cast<void *>(s),
            static_cast<void *>(s->stream));
        return;
    }
    if (cork == stateHas(s, NAUDIO_STREAM_STATE_CORKED)) {
        AUDIOLOG_DEBUG(NAUDIO_LOG, "[%s] %s request when stream is already %scorked.", s->name,
            cork ? "Cork" : "Uncork", cork ? "" : "un");
        return;
    }
    AUDIOLOG_INFO(NAUDIO_LOG, "[%s] %s stream %p", s->name, cork ? "Corking" : "Uncorking",
        static_cast<void *>(s->stream));
    s->corkRequests++;
    if (cork)
        stateSet(s, NAUDIO_STREAM_STATE_CORKED);
    else
        stateUnset(s, NAUDIO_STREAM_STATE_CORKED);
    pa_operation *op = pa_stream_cork(s->stream, cork ? 1 : 0, streamSuccessCb, s);
    if (op)
        pa_operation_unref(op);
    schedule(s, DeferredKind::CorkChanged, cork ? NAUDIO_STREAM_STATE_CORKED : 0);
    mainloopSignal(s->handle);
}

void streamEventCb(pa_stream *p, const char *name, pa_proplist *, void *userdata)
{
    auto *s = static_cast<NAudioStream *>(userdata);
    if (p != s->stream) {
        AUDIOLOG_WARN(NAUDIO_LOG, "Stream event pa_stream* mismatch (was %p, should be %p)",
            static_cast<void *>(p), static_cast<void *>(s->stream));
        return;
    }
    if (!name)
        name = "";
    AUDIOLOG_INFO(NAUDIO_LOG, "[%s] Stream %p got event '%s'", s->name, static_cast<void *>(p), name);
    if (!strcmp(name, PA_STREAM_EVENT_REQUEST_CORK)) {
        streamCork(s, true);
    } else if (!strcmp(name, PA_STREAM_EVENT_REQUEST_UNCORK)) {
        if (stateHas(s, NAUDIO_STREAM_STATE_STANDBY))
            schedule(s, DeferredKind::Disconnect, 0);
        else
            streamCork(s, false);
    } else if (!strcmp(name, "request-stop")) {
        if (!stateHas(s, NAUDIO_STREAM_STATE_STANDBY | NAUDIO_STREAM_STATE_STOPPED))
            stateSet(s, NAUDIO_STREAM_STATE_STOPPED);
        AUDIOLOG_INFO(NAUDIO_LOG, "[%s] Disconnect stream", s->name);
        schedule(s, DeferredKind::Disconnect, 0);
    }
    // A writer or reader waiting for room or data rechecks the state.
    mainloopSignal(s->handle);
}

struct CorkQuery {
    NAudioHandle *handle;
    int corked;
};

void sinkInputInfoCb(pa_context *, const pa_sink_input_info *info, int eol, void *userdata)
{
    auto *q = static_cast<CorkQuery *>(userdata);
    if (!eol && info)
        q->corked = info->corked ? 1 : 0;
    mainloopSignal(q->handle);
}

void sourceOutputInfoCb(pa_context *, const pa_source_output_info *info, int eol, void *userdata)
{
    auto *q = static_cast<CorkQuery *>(userdata);
    if (!eol && info)
        q->corked = info->corked ? 1 : 0;
    mainloopSignal(q->handle);
}

// ---- core operations (caller's thread) ------------------------------------

// Reads the server's cork flag of a freshly connected stream.
void audioStreamUpdateState(NAudioStream *s)
{
    NAudioHandle *h = s->handle;
    CorkQuery query{h, -1};
    uint32_t corkRequests = 0;
    {
        LoopLock lock(h->mainloop);
        corkRequests = s->corkRequests.load();
        const uint32_t index = s->stream ? pa_stream_get_index(s->stream) : PA_INVALID_INDEX;
        if (index == PA_INVALID_INDEX)
            return;
        pa_operation *op = isOutput(s)
            ? pa_context_get_sink_input_info(h->context, index, sinkInputInfoCb, &query)
            : pa_context_get_source_output_info(h->context, index, sourceOutputInfoCb, &query);
        if (op) {
            while (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
                pa_threaded_mainloop_wait(h->mainloop);
            pa_operation_unref(op);
        }
    }
    // A policy event may have corked the stream while the answer travelled.
    if (query.corked < 0 || corkRequests != s->corkRequests.load())
        return;
    AUDIOLOG_INFO(NAUDIO_LOG, "[%s] Stream initial state: corked: %s", s->name,
        query.corked ? "true" : "false");
    if (query.corked)
        stateSet(s, NAUDIO_STREAM_STATE_CORKED);
    else
        stateUnset(s, NAUDIO_STREAM_STATE_CORKED);
}

// Lock held. Drops our stream without telling the server anything more.
void dropPaStream(NAudioStream *s)
{
    if (!s->stream)
        return;
    pa_stream_set_state_callback(s->stream, nullptr, nullptr);
    pa_stream_set_write_callback(s->stream, nullptr, nullptr);
    pa_stream_set_read_callback(s->stream, nullptr, nullptr);
    pa_stream_set_event_callback(s->stream, nullptr, nullptr);
    pa_stream_set_latency_update_callback(s->stream, nullptr, nullptr);
    pa_stream_unref(s->stream);
    s->stream = nullptr;
}

void updateMusicActive(NAudioHandle *h)
{
    int active = 0;
    for (const auto &s : h->outputs) {
        if (s.used && s.stream && (s.type & NAUDIO_STREAM_TYPE_MUSIC))
            active = 1;
    }
    h->music_active = active;
}

void audioUpdateSystemSounds(NAudioHandle *h)
{
    const bool off = h->music_active || h->system_sounds_off;
    // Every system-sound slot follows, not only the first one found.
    auto update = [&](NAudioStream &s) {
        if (!s.used || !(s.type & NAUDIO_STREAM_TYPE_SYSTEM))
            return;
        if (stateHas(&s, NAUDIO_STREAM_STATE_DISABLED) == off)
            return;
        audioRelease(&s, true);
        if (off)
            stateSet(&s, NAUDIO_STREAM_STATE_DISABLED);
        else
            stateUnset(&s, NAUDIO_STREAM_STATE_DISABLED);
        AUDIOLOG_INFO(NAUDIO_LOG, "%s system sounds.", off ? "Disable" : "Enable");
    };
    for (auto &s : h->outputs)
        update(s);
    for (auto &s : h->inputs)
        update(s);
}

void audioRelease(NAudioStream *s, bool forced)
{
    if (!s->stream)
        return;
    NAudioHandle *h = s->handle;
    if (!forced && stateHas(s, NAUDIO_STREAM_STATE_CORKED)) {
        AUDIOLOG_DEBUG(NAUDIO_LOG, "[%s] Stream %p corked, don't disconnect.", s->name,
            static_cast<void *>(s->stream));
        stateUnset(s, NAUDIO_STREAM_STATE_ACTIVE);
        return;
    }
    {
        LoopLock lock(h->mainloop);
        if (pa_stream_get_state(s->stream) == PA_STREAM_READY) {
            if (!isOutput(s)) {
                pa_operation *op = pa_stream_flush(s->stream, nullptr, nullptr);
                if (op)
                    pa_operation_unref(op);
            }
            AUDIOLOG_INFO(NAUDIO_LOG, "[%s] Disconnect stream %p", s->name, static_cast<void *>(s->stream));
            pa_stream_disconnect(s->stream);
        }
        // Released in every state: a stream that never got ready must not leak.
        dropPaStream(s);
        // What the old stream left over is no part of the next one.
        s->overrun.clear();
    }
    if (isOutput(s) && (s->type & NAUDIO_STREAM_TYPE_MUSIC)) {
        updateMusicActive(h);
        audioUpdateSystemSounds(h);
    }
    stateUnset(s, NAUDIO_STREAM_STATE_CORKED, true);
    stateUnset(s, NAUDIO_STREAM_STATE_STANDBY, true);
    stateUnset(s, NAUDIO_STREAM_STATE_DISABLED, true);
    stateUnset(s, NAUDIO_STREAM_STATE_ACTIVE);
    invokeHook(h, NAUDIO_HOOK_STREAM_RELEASE, NAUDIO_INT_TO_PTR(s->io_handle));
}

void outputStandby(NAudioStream *s)
{
    stateSet(s, NAUDIO_STREAM_STATE_STANDBY);
    audioRelease(s, false);
    stateUnset(s, NAUDIO_STREAM_STATE_STOPPED);
}

void inputStandby(NAudioStream *s)
{
    audioRelease(s, false);
    stateUnset(s, NAUDIO_STREAM_STATE_STOPPED);
}

void freeSlot(NAudioStream *s)
{
    s->used = false;
    s->io_handle = 0;
    s->state = 0;
    s->latency = 0;
    s->type = 0;
    s->name = "unknown";
    s->overrun.release();
}

void audioDisconnect(NAudioHandle *h)
{
    h->connected = 0;
    // Everything goes, corked streams too: no stream may outlive the
    // context and main loop it belongs to.
    for (auto &s : h->inputs) {
        audioRelease(&s, true);
        stateUnset(&s, NAUDIO_STREAM_STATE_STOPPED);
    }
    for (auto &s : h->outputs)
        audioRelease(&s, true);
    if (h->context) {
        LoopLock lock(h->mainloop);
        const pa_context_state_t state = pa_context_get_state(h->context);
        if (state >= PA_CONTEXT_CONNECTING && state <= PA_CONTEXT_READY)
            pa_context_disconnect(h->context);
        pa_context_set_state_callback(h->context, nullptr, nullptr);
        pa_context_unref(h->context);
        h->context = nullptr;
    }
    if (h->mainloop) {
        pa_threaded_mainloop_stop(h->mainloop);
        pa_threaded_mainloop_free(h->mainloop);
        h->mainloop = nullptr;
    }
}

void audioConnect(NAudioHandle *h)
{
    if (h->mainloop) {
        if (h->connected)
            return;
        audioDisconnect(h);
    }
    if (h->retry > 0) {
        h->retry++;
        if (h->retry <= RETRY_LIMIT) {
            g_usleep(RETRY_SLEEP_US);
            return;
        }
        h->retry = 0;
    }

    char *name = g_strdup(CLIENT_NAME);
    invokeHook(h, NAUDIO_HOOK_CONNECT, &name);
    if (!name)
        name = g_strdup(CLIENT_NAME);
    AUDIOLOG_INFO(NAUDIO_LOG, "Connecting %s", name);

    h->mainloop = pa_threaded_mainloop_new();
    h->context = h->mainloop
        ? pa_context_new(pa_threaded_mainloop_get_api(h->mainloop), name) : nullptr;
    g_free(name);
    h->connected = 0;
    if (h->context) {
        pa_context_set_state_callback(h->context, contextStateCb, h);
        NAUDIO_ASSERT(pa_threaded_mainloop_start(h->mainloop) == 0);
        pa_threaded_mainloop_lock(h->mainloop);
        if (pa_context_connect(h->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            for (;;) {
                const pa_context_state_t state = pa_context_get_state(h->context);
                if (state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state))
                    break;
                pa_threaded_mainloop_wait(h->mainloop);
            }
        }
        pa_threaded_mainloop_unlock(h->mainloop);
    }
    if (!h->connected) {
        AUDIOLOG_WARN(NAUDIO_LOG, "Connection to PulseAudio failed.");
        audioDisconnect(h);
        h->retry++;
    }
}

// Creates and connects the slot's PulseAudio stream; false when there is none.
bool audioStreamCreate(NAudioStream *s)
{
    NAudioHandle *h = s->handle;
    const bool output = isOutput(s);
    AUDIOLOG_INFO(NAUDIO_LOG, "[%s] io_handle(%i) Create stream for %s.", s->name, s->io_handle,
        output ? "writing" : "reading");

    pa_proplist *props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_MEDIA_NAME, s->name);
    NAudioHookStreamCreate create = {s->io_handle, props};
    invokeHook(h, NAUDIO_HOOK_STREAM_CREATE, &create);

    const pa_sample_spec sample_spec = {s->format, s->rate, s->channels};
    LoopLock lock(h->mainloop);
    if (h->context && pa_sample_spec_valid(&sample_spec))
        s->stream = pa_stream_new_with_proplist(h->context, s->name, &sample_spec,
            s->mapValid ? &s->map : nullptr, props);
    pa_proplist_free(props);
    if (!s->stream) {
        AUDIOLOG_ERR(NAUDIO_LOG, "Failed to connect io_handle(%i) to PulseAudio", s->io_handle);
        return false;
    }
    s->generation++;
    s->latency = 0;
    pa_stream_set_state_callback(s->stream, streamSignalCb, s);
    if (output)
        pa_stream_set_write_callback(s->stream, streamRequestCb, s);
    else
        pa_stream_set_read_callback(s->stream, streamRequestCb, s);
    pa_stream_set_event_callback(s->stream, streamEventCb, s);
    pa_stream_set_latency_update_callback(s->stream, streamLatencyCb, s);

    // The server's default record fragment is seconds long, far beyond what
    // a read keeps over, which would answer nothing but silence.
    pa_buffer_attr recordAttr;
    recordAttr.maxlength = static_cast<uint32_t>(-1);
    recordAttr.tlength = static_cast<uint32_t>(-1);
    recordAttr.prebuf = static_cast<uint32_t>(-1);
    recordAttr.minreq = static_cast<uint32_t>(-1);
    recordAttr.fragsize = s->fragment ? s->fragment : static_cast<uint32_t>(-1);
    const int rc = output
        ? pa_stream_connect_playback(s->stream, nullptr, nullptr, STREAM_FLAGS, nullptr, nullptr)
        : pa_stream_connect_record(s->stream, nullptr, &recordAttr, STREAM_FLAGS);
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(s->stream);
        AUDIOLOG_DEBUG(NAUDIO_LOG, "[%s] %s stream %p %s", s->name, output ? "Playback" : "Record",
            static_cast<void *>(s->stream), streamStateName(state));
        // A refused connect request leaves the stream unconnected for good.
        if (rc < 0 || !PA_STREAM_IS_GOOD(state)) {
            dropPaStream(s);
            return false;
        }
        if (state == PA_STREAM_READY)
            break;
        pa_threaded_mainloop_wait(h->mainloop);
    }
    return true;
}

NAudioStream *outputSlot(NAudioHandle *h, int slot, const char *what)
{
    if (slot < 0 || slot >= NAUDIO_OUTPUT_STREAMS_COUNT_MAX || !h->outputs[slot].used) {
        AUDIOLOG_ERR(NAUDIO_LOG, "Invalid output slot %d for %s", slot, what);
        return nullptr;
    }
    return &h->outputs[slot];
}

NAudioStream *inputSlot(NAudioHandle *h, int slot, const char *what)
{
    if (slot < 0 || slot >= NAUDIO_RECORD_STREAMS_COUNT_MAX || !h->inputs[slot].used) {
        AUDIOLOG_ERR(NAUDIO_LOG, "Invalid input slot %d for %s", slot, what);
        return nullptr;
    }
    return &h->inputs[slot];
}

NAudioStream *findIoHandle(NAudioHandle *h, int32_t io_handle)
{
    for (auto &s : h->outputs) {
        if (s.used && s.io_handle == io_handle)
            return &s;
    }
    for (auto &s : h->inputs) {
        if (s.used && s.io_handle == io_handle)
            return &s;
    }
    AUDIOLOG_ERR(NAUDIO_LOG, "Unknown io_handle %i", io_handle);
    return nullptr;
}

int audioOpen(NAudioHandle *h, bool output, int32_t io_handle, uint32_t flags,
    uint32_t sample_rate, uint32_t channel_mask, uint32_t size)
{
    NAudioStream *slots = output ? h->outputs : h->inputs;
    const int count = output ? NAUDIO_OUTPUT_STREAMS_COUNT_MAX : NAUDIO_RECORD_STREAMS_COUNT_MAX;
    const char *what = output ? "output" : "input";

    audioConnect(h);

    for (int i = 0; i < count; i++) {
        NAudioStream *s = &slots[i];
        if (s->used && s->io_handle == io_handle) {
            AUDIOLOG_WARN(NAUDIO_LOG, "Open %s with already existing io_handle, overwriting.", what);
            audioRelease(s, true);
            freeSlot(s);
        }
    }

    NAudioStream *s = nullptr;
    for (int i = 0; i < count && !s; i++) {
        if (!slots[i].used)
            s = &slots[i];
    }
    if (!s) {
        AUDIOLOG_ERR(NAUDIO_LOG, "No free %s slot for io_handle %d", what, io_handle);
        return -1;
    }
    if (!output) {
        if (size > NAUDIO_INPUT_SIZE_MAX) {
            AUDIOLOG_ERR(NAUDIO_LOG, "Open input with size %u too large", size);
            return -1;
        }
        if (!s->overrun.allocate(4ull * size)) {
            AUDIOLOG_ERR(NAUDIO_LOG, "Open input: no memory for %llu bytes",
                static_cast<unsigned long long>(4ull * size));
            return -1;
        }
    }

    // A late callback of the slot's previous stream may still read these.
    LoopLock lock(h->mainloop);
    s->format = PA_SAMPLE_S16LE;
    s->fragment = output ? 0 : size;
    s->rate = sample_rate;
    s->channels = static_cast<uint8_t>(__builtin_popcount(channel_mask));
    s->io_handle = io_handle;
    s->direction = output ? PA_STREAM_PLAYBACK : PA_STREAM_RECORD;
    s->type = flags;
    if (!output)
        s->type |= (flags & NAUDIO_INPUT_FLAG_VOICE) ? NAUDIO_STREAM_TYPE_RECORD_VOICE : NAUDIO_STREAM_TYPE_RECORD;
    s->name = streamTypeName(s->type);
    s->state = 0;
    s->latency = 0;
    s->mapValid = true;
    if (s->channels == 1) {
        pa_channel_map_init_mono(&s->map);
    } else if (s->channels == 2) {
        pa_channel_map_init_stereo(&s->map);
    } else {
        s->mapValid = false;
        AUDIOLOG_WARN(NAUDIO_LOG, "Open with channel mask %#010x not supported.", channel_mask);
    }
    s->used = true;
    AUDIOLOG_INFO(NAUDIO_LOG, "[%s] New %s (channel mask %#010x, %d channels) stream handle %d",
        s->name, what, channel_mask, s->channels, io_handle);
    return s->index;
}

} // namespace

extern "C" {

NAudioHandle *naudio_audio_new(NAudioCore *core)
{
    auto *h = new NAudioHandle;
    h->core = core;
    h->audio_enabled = 1;
    for (int i = 0; i < NAUDIO_OUTPUT_STREAMS_COUNT_MAX; i++) {
        h->outputs[i].handle = h;
        h->outputs[i].index = i;
        h->outputs[i].direction = PA_STREAM_PLAYBACK;
    }
    for (int i = 0; i < NAUDIO_RECORD_STREAMS_COUNT_MAX; i++) {
        h->inputs[i].handle = h;
        h->inputs[i].index = i;
        h->inputs[i].direction = PA_STREAM_RECORD;
    }
    audioConnect(h);
    AUDIOLOG_INFO(NAUDIO_LOG, "Audio handle created.");
    return h;
}

void naudio_audio_free(NAudioHandle *h)
{
    if (!h)
        return;
    audioDisconnect(h);
    // PulseAudio's thread is gone: nothing schedules any more.
    cancelDeferred(h);
    delete h;
    AUDIOLOG_INFO(NAUDIO_LOG, "Audio handle freed.");
}

int naudio_audio_open_output(NAudioHandle *h, int32_t io_handle, uint32_t /*devices*/,
    uint32_t flags, uint32_t sample_rate, uint32_t channel_mask)
{
    NAUDIO_ASSERT(h);
    return audioOpen(h, true, io_handle, flags, sample_rate, channel_mask, 0);
}

int naudio_audio_open_input(NAudioHandle *h, int32_t io_handle, uint32_t /*devices*/,
    uint32_t flags, uint32_t sample_rate, uint32_t channel_mask, uint32_t /*format*/, uint32_t size)
{
    NAUDIO_ASSERT(h);
    return audioOpen(h, false, io_handle, flags, sample_rate, channel_mask, size);
}

int naudio_audio_output_write(NAudioHandle *h, int output_slot, const void *data, size_t bytes)
{
    NAUDIO_ASSERT(h);
    NAudioStream *s = outputSlot(h, output_slot, "write");
    if (!s)
        return -1;
    if (!data && bytes) {
        AUDIOLOG_ERR(NAUDIO_LOG, "[%s] Write without data", s->name);
        return -1;
    }
    if (!h->audio_enabled || (h->voip && !(s->type & NAUDIO_STREAM_TYPE_VOICE)))
        return 0;

    audioConnect(h);
    if (stateHas(s, NAUDIO_STREAM_STATE_DISABLED | NAUDIO_STREAM_STATE_STOPPED) || !h->connected)
        return 0;
    if (!stateHas(s, NAUDIO_STREAM_STATE_CORKED))
        stateUnset(s, NAUDIO_STREAM_STATE_STANDBY);

    if (!s->stream) {
        if (s->type & NAUDIO_STREAM_TYPE_SYSTEM) {
            if (h->music_active || h->system_sounds_off) {
                stateSet(s, NAUDIO_STREAM_STATE_DISABLED);
                return 0;
            }
            stateUnset(s, NAUDIO_STREAM_STATE_DISABLED);
        }
        if (s->type & NAUDIO_STREAM_TYPE_MUSIC) {
            h->music_active = 1;
            audioUpdateSystemSounds(h);
        }
        const bool created = audioStreamCreate(s);
        if (s->type & NAUDIO_STREAM_TYPE_MUSIC) {
            // Only a connected music stream silences system sounds.
            updateMusicActive(h);
            audioUpdateSystemSounds(h);
        }
        if (!created)
            return 0;
        audioStreamUpdateState(s);
        if (!stateHas(s, NAUDIO_STREAM_STATE_CORKED))
            stateSet(s, NAUDIO_STREAM_STATE_ACTIVE);
    }

    const auto *p = static_cast<const uint8_t *>(data);
    size_t left = bytes;
    LoopLock lock(h->mainloop);
    while (left && s->stream && pa_stream_get_state(s->stream) == PA_STREAM_READY) {
        const size_t writable = pa_stream_writable_size(s->stream);
        if (writable == static_cast<size_t>(-1))
            break;
        if (writable > 0) {
            const size_t n = std::min(left, writable);
            if (pa_stream_write(s->stream, p, n, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                break;
            p += n;
            left -= n;
        } else {
            if (stateHas(s, NAUDIO_STREAM_STATE_CORKED | NAUDIO_STREAM_STATE_STOPPED))
                break;
            pa_threaded_mainloop_wait(h->mainloop);
        }
    }
    return 0;
}

int64_t naudio_audio_input_read(NAudioHandle *h, int input_slot, void *data, size_t bytes)
{
    NAUDIO_ASSERT(h);
    NAudioStream *s = inputSlot(h, input_slot, "read");
    if (!s || (!data && bytes)) {
        if (s)
            AUDIOLOG_ERR(NAUDIO_LOG, "[%s] Read without buffer", s->name);
        if (data && bytes)
            memset(data, 0, bytes);
        return -1;
    }
    auto *out = static_cast<uint8_t *>(data);
    if (!h->audio_enabled) {
        memset(out, 0, bytes);
        return static_cast<int64_t>(bytes);
    }
    NAUDIO_ASSERT_TEXT(s->direction == PA_STREAM_RECORD, "stream->direction == PA_STREAM_RECORD");

    if (!s->stream) {
        // Reads reconnect like writes do, else recording alone never would.
        audioConnect(h);
        if (!h->connected || !audioStreamCreate(s)) {
            memset(out, 0, bytes);
            return static_cast<int64_t>(bytes);
        }
        audioStreamUpdateState(s);
        if (!stateHas(s, NAUDIO_STREAM_STATE_CORKED))
            stateSet(s, NAUDIO_STREAM_STATE_ACTIVE);
    }

    uint8_t *dst = out;
    size_t want = bytes;
    bool silence = false;
    LoopLock lock(h->mainloop);
    while (want) {
        const size_t stored = s->overrun.take(dst, want);
        dst += stored;
        want -= stored;
        if (!want)
            break;

        size_t readable = 0;
        for (;;) {
            if (!s->stream || pa_stream_get_state(s->stream) != PA_STREAM_READY
                || stateHas(s, NAUDIO_STREAM_STATE_CORKED | NAUDIO_STREAM_STATE_STOPPED)) {
                silence = true;
                break;
            }
            readable = pa_stream_readable_size(s->stream);
            if (readable == static_cast<size_t>(-1)) {
                silence = true;
                break;
            }
            if (readable > 0)
                break;
            pa_threaded_mainloop_wait(h->mainloop);
        }
        if (silence)
            break;

        const void *fragment = nullptr;
        size_t length = 0;
        if (pa_stream_peek(s->stream, &fragment, &length) < 0) {
            silence = true;
            break;
        }
        if (!length)
            continue;
        size_t copied = 0;
        const auto result = s->overrun.consume(dst, want, fragment, length, &copied);
        pa_stream_drop(s->stream);
        if (result == naudio::RecordBuffer::Result::Overrun) {
            AUDIOLOG_WARN(NAUDIO_LOG, "[%s] Overrun buffer maxed, resetting. (there will be a gap in audio)",
                s->name);
            silence = true;
            break;
        }
        dst += copied;
        want -= copied;
    }
    if (silence)
        memset(out, 0, bytes);
    return static_cast<int64_t>(bytes);
}

void naudio_audio_output_standby(NAudioHandle *h, int output_slot)
{
    NAUDIO_ASSERT(h);
    if (NAudioStream *s = outputSlot(h, output_slot, "standby"))
        outputStandby(s);
}

void naudio_audio_output_close(NAudioHandle *h, int output_slot)
{
    NAUDIO_ASSERT(h);
    if (NAudioStream *s = outputSlot(h, output_slot, "close")) {
        outputStandby(s);
        // A corked stream survives standby; a closed slot keeps nothing.
        audioRelease(s, true);
        freeSlot(s);
    }
}

void naudio_audio_input_standby(NAudioHandle *h, int input_slot)
{
    NAUDIO_ASSERT(h);
    if (NAudioStream *s = inputSlot(h, input_slot, "standby"))
        inputStandby(s);
}

void naudio_audio_input_close(NAudioHandle *h, int input_slot)
{
    NAUDIO_ASSERT(h);
    if (NAudioStream *s = inputSlot(h, input_slot, "close")) {
        inputStandby(s);
        audioRelease(s, true);
        freeSlot(s);
    }
}

int naudio_audio_output_latency(NAudioHandle *h, int output_slot)
{
    NAUDIO_ASSERT(h);
    NAudioStream *s = outputSlot(h, output_slot, "latency");
    if (!s)
        return 0;
    const uint64_t average = s->latency.load();
    return average ? static_cast<int>(average / 1000) : DEFAULT_LATENCY_MS;
}

int naudio_audio_input_channel_count(NAudioHandle *h, int input_slot)
{
    NAUDIO_ASSERT(h);
    NAUDIO_ASSERT(input_slot >= 0 && input_slot < NAUDIO_RECORD_STREAMS_COUNT_MAX);
    NAudioStream *s = inputSlot(h, input_slot, "channel count");
    return s ? s->channels : 0;
}

void naudio_audio_req_cork(NAudioHandle *h, int32_t io_handle, int cork)
{
    NAUDIO_ASSERT(h);
    NAudioStream *s = findIoHandle(h, io_handle);
    if (!s)
        return;
    LoopLock lock(h->mainloop);
    streamCork(s, cork != 0);
}

uint32_t naudio_audio_stream_type(NAudioHandle *h, int32_t io_handle)
{
    NAUDIO_ASSERT(h);
    NAudioStream *s = findIoHandle(h, io_handle);
    return s ? (s->type & NAUDIO_STREAM_TYPE_MASK) : 0;
}

int naudio_audio_stream_direction(NAudioHandle *h, int32_t io_handle)
{
    NAUDIO_ASSERT(h);
    NAudioStream *s = findIoHandle(h, io_handle);
    if (!s)
        return NAUDIO_STREAM_DIRECTION_UNKNOWN;
    return isOutput(s) ? NAUDIO_STREAM_DIRECTION_OUTPUT : NAUDIO_STREAM_DIRECTION_INPUT;
}

void naudio_audio_req_voip(NAudioHandle *h, int voip)
{
    NAUDIO_ASSERT(h);
    voip = voip ? 1 : 0;
    if (voip == h->voip)
        return;
    AUDIOLOG_INFO(NAUDIO_LOG, "%s voip.", voip ? "Enable" : "Disable");
    h->voip = voip;
    if (voip) {
        for (auto &s : h->outputs)
            audioRelease(&s, true);
        for (auto &s : h->inputs)
            audioRelease(&s, true);
    }
}

void naudio_audio_req_system_sounds(NAudioHandle *h, int enable)
{
    NAUDIO_ASSERT(h);
    h->system_sounds_off = enable ? 0 : 1;
    audioUpdateSystemSounds(h);
}

void naudio_audio_req_enable_audio(NAudioHandle *h, int enable)
{
    NAUDIO_ASSERT(h);
    enable = enable ? 1 : 0;
    if (enable == h->audio_enabled)
        return;
    h->audio_enabled = enable;
    AUDIOLOG_INFO(NAUDIO_LOG, "%s ALL audio.", enable ? "Enable" : "Disable");
    if (!enable) {
        for (auto &s : h->outputs)
            audioRelease(&s, true);
        for (auto &s : h->inputs)
            audioRelease(&s, true);
    }
}

} // extern "C"

// ---- views for the library's tests -----------------------------------------

namespace {

NAudioStream *testSlot(NAudioHandle *h, int direction, int slot)
{
    if (slot < 0 || slot >= NAUDIO_OUTPUT_STREAMS_COUNT_MAX)
        return nullptr;
    return direction == NAUDIO_TEST_OUTPUT ? &h->outputs[slot] : &h->inputs[slot];
}

} // namespace

int naudio_audio_test_connected(NAudioHandle *h)
{
    return h->connected.load();
}

int naudio_audio_test_retry_counter(NAudioHandle *h)
{
    return h->retry;
}

int naudio_audio_test_music_active(NAudioHandle *h)
{
    return h->music_active;
}

uint32_t naudio_audio_test_state(NAudioHandle *h, int direction, int slot)
{
    NAudioStream *s = testSlot(h, direction, slot);
    return s ? s->state.load() : 0;
}

uint32_t naudio_audio_test_stream_index(NAudioHandle *h, int direction, int slot)
{
    NAudioStream *s = testSlot(h, direction, slot);
    if (!s || !s->stream)
        return UINT32_MAX;
    LoopLock lock(h->mainloop);
    const uint32_t index = pa_stream_get_index(s->stream);
    return index == PA_INVALID_INDEX ? UINT32_MAX : index;
}

void naudio_audio_test_stream_event(NAudioHandle *h, int direction, int slot, const char *event, int foreign)
{
    NAudioStream *s = testSlot(h, direction, slot);
    if (!s)
        return;
    LoopLock lock(h->mainloop);
    pa_stream *target = s->stream;
    if (foreign)
        target = reinterpret_cast<pa_stream *>(static_cast<uintptr_t>(0x1000));
    streamEventCb(target, event, nullptr, s);
}

uint64_t naudio_audio_test_overrun_available(NAudioHandle *h, int slot)
{
    NAudioStream *s = testSlot(h, NAUDIO_TEST_INPUT, slot);
    return s ? s->overrun.available() : 0;
}

uint64_t naudio_audio_test_overrun_capacity(NAudioHandle *h, int slot)
{
    NAudioStream *s = testSlot(h, NAUDIO_TEST_INPUT, slot);
    return s ? s->overrun.capacity() : 0;
}
