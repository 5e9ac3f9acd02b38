/* Internal views of the audio core, for the library's own tests. */
#ifndef NAUDIO_AUDIO_P_H
#define NAUDIO_AUDIO_P_H

#include "naudio/audio.h"

#include <stdint.h>

/* Direction argument of the helpers below. */
#define NAUDIO_TEST_OUTPUT 1
#define NAUDIO_TEST_INPUT 2

int naudio_audio_test_connected(NAudioHandle *h);
int naudio_audio_test_retry_counter(NAudioHandle *h);
int naudio_audio_test_music_active(NAudioHandle *h);
/* State bits of a slot, 0 for a bad slot. */
uint32_t naudio_audio_test_state(NAudioHandle *h, int direction, int slot);
/* Server index of the slot's stream (sink input / source output), or
 * UINT32_MAX without one. */
uint32_t naudio_audio_test_stream_index(NAudioHandle *h, int direction, int slot);
/* Delivers a stream event as PulseAudio's thread would (lock held); with
 * `foreign` set the event names another stream than the slot's. */
void naudio_audio_test_stream_event(NAudioHandle *h, int direction, int slot,
    const char *event, int foreign);
/* Remainder buffer of an input slot. */
uint64_t naudio_audio_test_overrun_available(NAudioHandle *h, int slot);
uint64_t naudio_audio_test_overrun_capacity(NAudioHandle *h, int slot);

#endif
