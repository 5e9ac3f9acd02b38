#include <ferry/binder/log.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace ferry::binder {

namespace {

int levelFromEnvironment()
{
    const char *value = getenv("FERRY_BINDER_LOG");
    if (!value || !*value)
        return kLogWarning;
    char *end = nullptr;
    long level = strtol(value, &end, 10);
    if (*end || level < kLogNone)
        return kLogWarning;
    return level > kLogVerbose ? kLogVerbose : int(level);
}

std::atomic<int> &currentLevel()
{
    static std::atomic<int> level(levelFromEnvironment());
    return level;
}

} // namespace

int logLevel()
{
    return currentLevel().load(std::memory_order_relaxed);
}

void setLogLevel(int level)
{
    currentLevel().store(level < kLogNone ? kLogNone : level > kLogVerbose ? kLogVerbose : level);
}

void logMessage(int level, const char *format, ...)
{
    static const char *const names[] = {"", "ERROR: ", "WARNING: ", "", "", ""};
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // One write per line keeps lines of different threads apart.
    std::string line = "binder: ";
    line += names[level < 0 ? 0 : level > 5 ? 5 : level];
    line += text;
    line += '\n';
    fputs(line.c_str(), stderr);
}

} // namespace ferry::binder
