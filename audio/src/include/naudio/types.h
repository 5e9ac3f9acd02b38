/* Opaque records and shared types of the audio service library. */
#ifndef NAUDIO_TYPES_H
#define NAUDIO_TYPES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NAUDIO_EXPORT __attribute__((visibility("default")))

typedef struct naudio_core NAudioCore;
typedef struct naudio_hook_list NAudioHookList;
typedef struct naudio_hook_slot NAudioHookSlot;
typedef struct naudio_handle NAudioHandle;

/* Hook arguments are one pointer-sized value; integers travel through these. */
#define NAUDIO_INT_TO_PTR(i) ((void *)(intptr_t)(i))
#define NAUDIO_PTR_TO_INT(p) ((int)(intptr_t)(p))

#ifdef __cplusplus
}
#endif

#endif
