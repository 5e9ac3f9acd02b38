/*
 * The audio core: Android PCM streams played and recorded through the
 * host's PulseAudio server.
 *
 * Each Android io handle opened here occupies one slot (0..7 for outputs,
 * 0..7 for inputs); the slot owns at most one PulseAudio stream, created on
 * the first write or read and torn down on standby. PulseAudio policy events
 * (cork, uncork, stop) are followed; the hooks they cause run on the GLib
 * main loop of the default main context, so the caller must run that loop.
 *
 * Call the functions from one thread (the thread that runs the GLib main
 * loop). Writes and reads block as long as PulseAudio needs room or data.
 *
 * Slots: every function taking a slot rejects a slot outside 0..7 or a free
 * slot with an error line and a zero or failure result (see each function);
 * only naudio_audio_input_channel_count treats a slot outside 0..7 as a
 * fatal programming error.
 *
 * Buffers: a write reads exactly `bytes` bytes from `data` and a read
 * stores exactly `bytes` bytes into `data`, never more. Passing a count
 * larger than the buffer really holds is the caller's fault.
 */
#ifndef NAUDIO_AUDIO_H
#define NAUDIO_AUDIO_H

#include <stddef.h>
#include <stdint.h>

#include <naudio/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NAUDIO_OUTPUT_STREAMS_COUNT_MAX 8
#define NAUDIO_RECORD_STREAMS_COUNT_MAX 8

/* Stream state bits. */
#define NAUDIO_STREAM_STATE_ACTIVE   0x01u
#define NAUDIO_STREAM_STATE_DISABLED 0x02u
#define NAUDIO_STREAM_STATE_CORKED   0x04u
#define NAUDIO_STREAM_STATE_STANDBY  0x08u
#define NAUDIO_STREAM_STATE_STOPPED  0x10u

/* Stream type bits (Android output flags and the input marks). */
#define NAUDIO_STREAM_TYPE_PRIMARY      0x00000002u
#define NAUDIO_STREAM_TYPE_VOICE        0x00100000u
#define NAUDIO_STREAM_TYPE_SYSTEM       0x00200000u
#define NAUDIO_STREAM_TYPE_RING         0x00400000u
#define NAUDIO_STREAM_TYPE_MUSIC        0x00800000u
#define NAUDIO_STREAM_TYPE_ALARM        0x01000000u
#define NAUDIO_STREAM_TYPE_NOTIFICATION 0x02000000u
#define NAUDIO_STREAM_TYPE_RECORD       0x10000000u
#define NAUDIO_STREAM_TYPE_RECORD_VOICE 0x20000000u
#define NAUDIO_STREAM_TYPE_MASK         0x33f00002u
#define NAUDIO_STREAM_TYPE_INPUT        0x30000000u

/* Input open flag that makes a voice recording. */
#define NAUDIO_INPUT_FLAG_VOICE 0x20u

/* Largest `size` of naudio_audio_open_input (its remainder buffer holds 4x). */
#define NAUDIO_INPUT_SIZE_MAX (16u * 1024u * 1024u)

#define NAUDIO_STREAM_DIRECTION_UNKNOWN 0
#define NAUDIO_STREAM_DIRECTION_OUTPUT 1
#define NAUDIO_STREAM_DIRECTION_INPUT 2

/* Audio enabled, connected to the default server (PULSE_SERVER applies).
 * `core` may be NULL (no hooks are invoked then). */
NAUDIO_EXPORT NAudioHandle *naudio_audio_new(NAudioCore *core);
NAUDIO_EXPORT void naudio_audio_free(NAudioHandle *h);

/* Slot 0..7, or -1 when all eight are taken. An io_handle that is already
 * open in the same direction is replaced. */
NAUDIO_EXPORT int naudio_audio_open_output(NAudioHandle *h, int32_t io_handle,
    uint32_t devices, uint32_t flags, uint32_t sample_rate, uint32_t channel_mask);
/* As above; `size` (at most NAUDIO_INPUT_SIZE_MAX, else -1) sizes the
 * buffer that keeps what a read could not take of a PulseAudio fragment. */
NAUDIO_EXPORT int naudio_audio_open_input(NAudioHandle *h, int32_t io_handle,
    uint32_t devices, uint32_t flags, uint32_t sample_rate, uint32_t channel_mask,
    uint32_t format, uint32_t size);

/* Plays `bytes` bytes (blocks while PulseAudio has no room). Audio that
 * cannot be played (audio off, voip, muted system sounds, no server, corked
 * or stopped stream) is dropped. 0, or -1 for a bad slot or NULL data. */
NAUDIO_EXPORT int naudio_audio_output_write(NAudioHandle *h, int output_slot,
    const void *data, size_t bytes);
/* Fills `bytes` bytes (silence where nothing can be recorded) and answers
 * `bytes`; -1 for a bad slot or NULL data (a non-NULL buffer is then
 * silenced). */
NAUDIO_EXPORT int64_t naudio_audio_input_read(NAudioHandle *h, int input_slot,
    void *data, size_t bytes);

NAUDIO_EXPORT void naudio_audio_output_standby(NAudioHandle *h, int output_slot);
/* Standby and free the slot. */
NAUDIO_EXPORT void naudio_audio_output_close(NAudioHandle *h, int output_slot);
NAUDIO_EXPORT void naudio_audio_input_standby(NAudioHandle *h, int input_slot);
/* Standby and free the slot and its remainder buffer. */
NAUDIO_EXPORT void naudio_audio_input_close(NAudioHandle *h, int input_slot);

/* Average latency in ms, 100 while none was measured, 0 for a bad slot. */
NAUDIO_EXPORT int naudio_audio_output_latency(NAudioHandle *h, int output_slot);
/* Fatal outside 0..7; 0 for a free slot. */
NAUDIO_EXPORT int naudio_audio_input_channel_count(NAudioHandle *h, int input_slot);

NAUDIO_EXPORT void naudio_audio_req_cork(NAudioHandle *h, int32_t io_handle, int cork);
/* Type bits & NAUDIO_STREAM_TYPE_MASK, 0 for an unknown io_handle. */
NAUDIO_EXPORT uint32_t naudio_audio_stream_type(NAudioHandle *h, int32_t io_handle);
/* NAUDIO_STREAM_DIRECTION_* */
NAUDIO_EXPORT int naudio_audio_stream_direction(NAudioHandle *h, int32_t io_handle);

/* Voice call mode: only voice outputs play. */
NAUDIO_EXPORT void naudio_audio_req_voip(NAudioHandle *h, int voip);
NAUDIO_EXPORT void naudio_audio_req_system_sounds(NAudioHandle *h, int enable);
NAUDIO_EXPORT void naudio_audio_req_enable_audio(NAudioHandle *h, int enable);

#ifdef __cplusplus
}
#endif

#endif
