/*
 * Numbered hooks: the core and the service announce events through them and
 * plugins connect handlers. Handlers run on the thread that invokes the hook;
 * the core invokes every hook that stems from a PulseAudio event from the
 * GLib main loop (default main context), never from PulseAudio's thread.
 */
#ifndef NAUDIO_HOOK_H
#define NAUDIO_HOOK_H

#include <naudio/types.h>

#ifdef __cplusplus
extern "C" {
#endif

struct pa_proplist;

typedef enum naudio_hook {
    NAUDIO_HOOK_CONNECT = 0,            /* char ** : heap client name (g_malloc), replaceable */
    NAUDIO_HOOK_STREAM_CORK = 1,        /* NAudioHookStreamCork * */
    NAUDIO_HOOK_STREAM_STOP = 2,        /* io_handle */
    NAUDIO_HOOK_STREAM_CREATE = 3,      /* NAudioHookStreamCreate * */
    NAUDIO_HOOK_STREAM_ACTIVE = 4,      /* io_handle */
    NAUDIO_HOOK_STREAM_INACTIVE = 5,    /* io_handle */
    NAUDIO_HOOK_STREAM_RELEASE = 6,     /* io_handle */
    NAUDIO_HOOK_SERVICE_START = 7,      /* 0 */
    NAUDIO_HOOK_SERVICE_REGISTERED = 8, /* 1 registered, 0 service manager gone */
    NAUDIO_HOOK_SET_MODE = 9,           /* Android audio mode */
    NAUDIO_HOOK_SET_PARAMETERS = 10,    /* const char * key=value pairs */
    NAUDIO_HOOK_UNUSED_11 = 11,         /* never invoked */
    NAUDIO_HOOK_REQ_AUDIO_FOCUS = 12,   /* NAudioHookAudioFocus * */
    NAUDIO_HOOK_AUDIO_FOCUS_CHANGED = 13, /* focus value */
    NAUDIO_HOOK_CALL_STATE_CHANGED = 14,  /* call state */
    NAUDIO_HOOK_MAX = 15
} NAudioHook;

/* Records passed by address; valid only during the call. */
typedef struct naudio_hook_stream_cork {
    int64_t io_handle;
    int64_t corked;     /* NAUDIO_STREAM_STATE_CORKED (4) or 0 */
} NAudioHookStreamCork;

typedef struct naudio_hook_stream_create {
    int64_t io_handle;
    struct pa_proplist *proplist;   /* properties of the stream about to be created */
} NAudioHookStreamCreate;

typedef struct naudio_hook_audio_focus {
    int64_t focus_type;
    int64_t acquire;
} NAudioHookAudioFocus;

typedef void (*NAudioHookFunc)(void *argument, void *user_data, NAudioHookSlot *slot);

/* 15 empty slot lists. */
NAUDIO_EXPORT NAudioHookList *naudio_hook_new(void);
/* Fatal when a slot is still connected; NULL is ignored. */
NAUDIO_EXPORT void naudio_hook_free(NAudioHookList *h);
/* The new slot runs before the ones connected earlier. The caller owns it. */
NAUDIO_EXPORT NAudioHookSlot *naudio_hook_connect(NAudioHookList *h, unsigned int hook,
    NAudioHookFunc callback, void *user_data);
/* Calls the slots of the hook, most recently connected first. A handler must
 * not free slots of the same hook while it runs. */
NAUDIO_EXPORT void naudio_hook_invoke(NAudioHookList *h, unsigned int hook, void *argument);
/* Disconnects and frees; NULL is ignored. */
NAUDIO_EXPORT void naudio_hook_slot_free(NAudioHookSlot *slot);

#ifdef __cplusplus
}
#endif

#endif
