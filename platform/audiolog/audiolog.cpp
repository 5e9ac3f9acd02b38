#include "audiolog/audiolog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

std::atomic<int> g_default_level{AUDIOLOG_LEVEL_DEFAULT};
std::mutex g_sink_mutex;
AudioLogFunc g_func = nullptr;
void *g_func_data = nullptr;

int clampLevel(int level)
{
    if (level < AUDIOLOG_LEVEL_NONE)
        return AUDIOLOG_LEVEL_NONE;
    if (level > AUDIOLOG_LEVEL_VERBOSE)
        return AUDIOLOG_LEVEL_VERBOSE;
    return level;
}

} // namespace

extern "C" {

void audiolog_set_default_level(int level)
{
    g_default_level.store(clampLevel(level));
}

int audiolog_default_level(void)
{
    return g_default_level.load();
}

int audiolog_module_level(const AudioLogModule *module)
{
    if (module && module->level != AUDIOLOG_LEVEL_INHERIT)
        return clampLevel(module->level);
    return g_default_level.load();
}

int audiolog_enabled(const AudioLogModule *module, int level)
{
    return level > AUDIOLOG_LEVEL_NONE && level <= audiolog_module_level(module);
}

void audiolog_set_func(AudioLogFunc func, void *user_data)
{
    std::lock_guard<std::mutex> lock(g_sink_mutex);
    g_func = func;
    g_func_data = user_data;
}

void audiolog_printv(const AudioLogModule *module, int level, const char *format, va_list args)
{
    if (!format || !audiolog_enabled(module, level))
        return;

    std::string line;
    if (module && module->name && module->name[0]) {
        line += module->name;
        line += ": ";
    }
    va_list copy;
    va_copy(copy, args);
    char small[256];
    const int n = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    if (static_cast<size_t>(n) < sizeof small) {
        line.append(small, static_cast<size_t>(n));
    } else {
        std::string big(static_cast<size_t>(n) + 1, '\0');
        vsnprintf(&big[0], big.size(), format, args);
        big.resize(static_cast<size_t>(n));
        line += big;
    }

    std::lock_guard<std::mutex> lock(g_sink_mutex);
    if (g_func) {
        g_func(level, line.c_str(), g_func_data);
    } else {
        line += '\n';
        fwrite(line.data(), 1, line.size(), stderr);
        fflush(stderr);
    }
}

void audiolog_print(const AudioLogModule *module, int level, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    audiolog_printv(module, level, format, args);
    va_end(args);
}

void audiolog_assert_failed(const AudioLogModule *module, const char *text, const char *file, int line)
{
    const char *name = module && module->name ? module->name : "";
    fprintf(stderr, "%s%sAssertion failed: %s (%s:%d)\n", name, name[0] ? ": " : "",
        text ? text : "?", file ? file : "?", line);
    fflush(stderr);
    abort();
}

} // extern "C"
