/* The core object: the hook list and the audio handle of the process. */
#ifndef NAUDIO_CORE_H
#define NAUDIO_CORE_H

#include <naudio/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* New hook list, no audio handle. */
NAUDIO_EXPORT NAudioCore *naudio_core_new(void);
/* Frees the hook list (fatal if a slot is still connected), the audio handle
 * and the core. NULL is ignored. */
NAUDIO_EXPORT void naudio_core_free(NAudioCore *core);

NAUDIO_EXPORT NAudioHookList *naudio_core_hook(NAudioCore *core);
/* The audio handle, NULL until one is set. */
NAUDIO_EXPORT NAudioHandle *naudio_core_audio(NAudioCore *core);
/* The core takes ownership; a different handle set before is freed. */
NAUDIO_EXPORT void naudio_core_set_audio(NAudioCore *core, NAudioHandle *audio);

#ifdef __cplusplus
}
#endif

#endif
