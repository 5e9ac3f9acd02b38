/* Requests that the service program answers through hooks. */
#ifndef NAUDIO_SERVICE_H
#define NAUDIO_SERVICE_H

#include <naudio/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define NAUDIO_FOCUS_TYPE_TRANSIENT 2

/* Invokes NAUDIO_HOOK_REQ_AUDIO_FOCUS with (focus_type, acquire). */
NAUDIO_EXPORT void naudio_service_req_audio_focus(NAudioCore *core, int focus_type, int acquire);
/* Transient focus: acquire (pause Android) or abandon it. */
NAUDIO_EXPORT void naudio_service_req_pause(NAudioCore *core, int pause);

#ifdef __cplusplus
}
#endif

#endif
