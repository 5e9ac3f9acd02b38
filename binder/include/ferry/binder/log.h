#pragma once

// Log domain "binder": lines on standard error starting with "binder: ".
// The level comes from FERRY_BINDER_LOG (0 none, 1 errors, 2 warnings,
// 3 info, 4 debug, 5 verbose); the default is 2.

namespace ferry::binder {

enum LogLevel { kLogNone = 0, kLogError = 1, kLogWarning = 2, kLogInfo = 3, kLogDebug = 4, kLogVerbose = 5 };

int logLevel();
void setLogLevel(int level);
void logMessage(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));

} // namespace ferry::binder

#define FERRY_BINDER_LOG_AT(level, ...)                                            \
    do {                                                                           \
        if (::ferry::binder::logLevel() >= (level))                                \
            ::ferry::binder::logMessage((level), __VA_ARGS__);                     \
    } while (0)
#define BINDER_ERR(...) FERRY_BINDER_LOG_AT(::ferry::binder::kLogError, __VA_ARGS__)
#define BINDER_WARN(...) FERRY_BINDER_LOG_AT(::ferry::binder::kLogWarning, __VA_ARGS__)
#define BINDER_INFO(...) FERRY_BINDER_LOG_AT(::ferry::binder::kLogInfo, __VA_ARGS__)
#define BINDER_DEBUG(...) FERRY_BINDER_LOG_AT(::ferry::binder::kLogDebug, __VA_ARGS__)
#define BINDER_VERBOSE(...) FERRY_BINDER_LOG_AT(::ferry::binder::kLogVerbose, __VA_ARGS__)
