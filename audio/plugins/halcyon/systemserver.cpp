#include "systemserver.h"

#include "halcyonlog_p.h"

#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace halcyon {

namespace {
// pidof's first line is read up to this many characters.
const size_t kMaxLine = 31;
}

const std::vector<std::string> &pidofCandidates()
{
    static const std::vector<std::string> list{"/sbin/pidof", "/usr/sbin/pidof", "/bin/pidof", "/usr/bin/pidof"};
    return list;
}

std::string findPidof()
{
    for (const std::string &path : pidofCandidates()) {
        if (access(path.c_str(), X_OK) == 0)
            return path;
    }
    return std::string();
}

pid_t parsePidofLine(const std::string &line)
{
    std::string text = line.substr(0, kMaxLine);
    const size_t end = text.find('\n');
    if (end != std::string::npos)
        text.resize(end);
    errno = 0;
    char *rest = nullptr;
    const long long value = strtoll(text.c_str(), &rest, 10);
    if (errno == ERANGE || (errno != 0 && value == 0)) {
        HALCYON_ERR("generate_app_id: strtoll: %s", strerror(errno));
        return 0;
    }
    if (rest == text.c_str()) {
        HALCYON_ERR("generate_app_id: no digits were found");
        return 0;
    }
    if (value <= 0 || value > 0x3fffffff)
        return 0;
    return pid_t(value);
}

pid_t systemServerPid()
{
    const std::string pidof = findPidof();
    if (pidof.empty())
        return 0;
    gchar *argv[] = {const_cast<gchar *>(pidof.c_str()), const_cast<gchar *>("system_server"), nullptr};
    gchar *out = nullptr;
    gint status = 0;
    const gboolean ran = g_spawn_sync(nullptr, argv, nullptr,
                                      GSpawnFlags(G_SPAWN_STDERR_TO_DEV_NULL | G_SPAWN_CLOEXEC_PIPES), nullptr,
                                      nullptr, &out, nullptr, &status, nullptr);
    pid_t pid = 0;
    if (ran && out && g_spawn_check_wait_status(status, nullptr))
        pid = parsePidofLine(out);
    g_free(out);
    return pid;
}

} // namespace halcyon
