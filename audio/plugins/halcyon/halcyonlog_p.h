// The halcyon plugin's log lines ("halcyon: ...").
#pragma once

#include <audiolog/audiolog.h>

extern AudioLogModule halcyon_log;
// The one line without the plugin's prefix.
extern AudioLogModule halcyon_bare_log;

#define HALCYON_ERR(...) AUDIOLOG_ERR(&halcyon_log, __VA_ARGS__)
#define HALCYON_INFO(...) AUDIOLOG_INFO(&halcyon_log, __VA_ARGS__)
#define HALCYON_DEBUG(...) AUDIOLOG_DEBUG(&halcyon_log, __VA_ARGS__)
