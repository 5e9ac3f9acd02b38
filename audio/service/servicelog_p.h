// The log module of novumaudioservice's own lines ("service: ...").
#pragma once

#include <audiolog/audiolog.h>

extern AudioLogModule service_log;

#define SERVICE_ERR(...) AUDIOLOG_ERR(&service_log, __VA_ARGS__)
#define SERVICE_WARN(...) AUDIOLOG_WARN(&service_log, __VA_ARGS__)
#define SERVICE_INFO(...) AUDIOLOG_INFO(&service_log, __VA_ARGS__)
#define SERVICE_DEBUG(...) AUDIOLOG_DEBUG(&service_log, __VA_ARGS__)
