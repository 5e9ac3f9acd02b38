/*
 * Logging of the audio service: numbered levels written to standard error,
 * every line prefixed with its component's name ("audio: ", "service: ",
 * "plugin: ", "halcyon: ").
 *
 * A component declares one module record and logs through it:
 *
 *     static AudioLogModule log_module = AUDIOLOG_MODULE_INIT("audio");
 *     AUDIOLOG_INFO(&log_module, "Connecting %s", name);
 *
 * A module logs at the process-wide default level unless its own level is
 * set. The default is AUDIOLOG_LEVEL_INFO and can be changed at any time
 * (the service raises it to verbose with its -v option). All functions are
 * thread safe; lines from different threads never interleave.
 */
#ifndef AUDIOLOG_AUDIOLOG_H
#define AUDIOLOG_AUDIOLOG_H

#include <stdarg.h>

#ifdef __cplusplus
extern "C" {
#endif

#define AUDIOLOG_LEVEL_INHERIT (-1)
#define AUDIOLOG_LEVEL_NONE 0
#define AUDIOLOG_LEVEL_ERR 1
#define AUDIOLOG_LEVEL_WARN 2
#define AUDIOLOG_LEVEL_INFO 3
#define AUDIOLOG_LEVEL_DEBUG 4
#define AUDIOLOG_LEVEL_VERBOSE 5
#define AUDIOLOG_LEVEL_DEFAULT AUDIOLOG_LEVEL_INFO

typedef struct audiolog_module {
    const char *name;   /* printed as "name: " in front of every line */
    int level;          /* AUDIOLOG_LEVEL_INHERIT: follow the default */
} AudioLogModule;

#define AUDIOLOG_MODULE_INIT(name) { name, AUDIOLOG_LEVEL_INHERIT }

/* Receives every complete line (prefix included, no trailing newline).
 * Replaces the standard error writer while installed. */
typedef void (*AudioLogFunc)(int level, const char *line, void *user_data);

void audiolog_set_default_level(int level);
int audiolog_default_level(void);

/* Level that applies to the module: its own, or the default. */
int audiolog_module_level(const AudioLogModule *module);
int audiolog_enabled(const AudioLogModule *module, int level);

/* NULL restores writing to standard error. */
void audiolog_set_func(AudioLogFunc func, void *user_data);

void audiolog_print(const AudioLogModule *module, int level,
    const char *format, ...) __attribute__((format(printf, 3, 4)));
void audiolog_printv(const AudioLogModule *module, int level,
    const char *format, va_list args) __attribute__((format(printf, 3, 0)));

/* Fatal programming error: writes "<prefix>: Assertion failed: <text>
 * (<file>:<line>)" to standard error, whatever the level, and aborts. */
void audiolog_assert_failed(const AudioLogModule *module, const char *text,
    const char *file, int line) __attribute__((noreturn));

#define AUDIOLOG_ERR(module, ...) \
    audiolog_print(module, AUDIOLOG_LEVEL_ERR, __VA_ARGS__)
#define AUDIOLOG_WARN(module, ...) \
    audiolog_print(module, AUDIOLOG_LEVEL_WARN, __VA_ARGS__)
#define AUDIOLOG_INFO(module, ...) \
    audiolog_print(module, AUDIOLOG_LEVEL_INFO, __VA_ARGS__)
#define AUDIOLOG_DEBUG(module, ...) \
    audiolog_print(module, AUDIOLOG_LEVEL_DEBUG, __VA_ARGS__)
#define AUDIOLOG_VERBOSE(module, ...) \
    audiolog_print(module, AUDIOLOG_LEVEL_VERBOSE, __VA_ARGS__)

/* The expression's own text is the assertion text. */
#define AUDIOLOG_ASSERT(module, expr) \
    do { if (!(expr)) audiolog_assert_failed(module, #expr, __FILE__, __LINE__); } while (0)
/* For checks whose message differs from the tested expression. */
#define AUDIOLOG_ASSERT_TEXT(module, cond, text) \
    do { if (!(cond)) audiolog_assert_failed(module, text, __FILE__, __LINE__); } while (0)

#ifdef __cplusplus
}
#endif

#endif
