/* The "audio: " log component shared by the library's sources. */
#ifndef NAUDIO_LOG_P_H
#define NAUDIO_LOG_P_H

#include <audiolog/audiolog.h>

extern AudioLogModule naudio_log_module;

#define NAUDIO_LOG (&naudio_log_module)
#define NAUDIO_ASSERT(expr) AUDIOLOG_ASSERT_TEXT(NAUDIO_LOG, expr, #expr)
#define NAUDIO_ASSERT_TEXT(cond, text) AUDIOLOG_ASSERT_TEXT(NAUDIO_LOG, cond, text)

#endif
