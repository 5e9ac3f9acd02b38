#include "private-pulse-server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

void removeTree(const std::string &dir)
{
    if (dir.empty())
        return;
    const std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", dir.c_str());
}

bool socketAnswers(const std::string &path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

std::string trim(const std::string &s)
{
    const size_t b = s.find_first_not_of(" \t");
    const size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

} // namespace

PrivatePulseServer::PrivatePulseServer(std::vector<std::string> extraLines)
    : m_extra(std::move(extraLines))
{
    char tmpl[] = "/tmp/naudio-pa-XXXXXX";
    if (mkdtemp(tmpl))
        m_dir = tmpl;
}

PrivatePulseServer::~PrivatePulseServer()
{
    stop();
    removeTree(m_dir);
}

bool PrivatePulseServer::start()
{
    if (m_pid > 0)
        return true;
    if (m_dir.empty())
        return false;
    const std::string runtime = m_dir + "/run", home = m_dir + "/home";
    mkdir(runtime.c_str(), 0700);
    mkdir(home.c_str(), 0700);
    const std::string config = m_dir + "/server.pa";
    {
        std::ofstream out(config);
        out << "load-module module-null-sink sink_name=null rate=48000 format=s16le channels=2 norewinds=1\n"
            << "load-module module-null-source source_name=silence rate=48000 format=s16le channels=2\n"
            << "load-module module-native-protocol-unix socket=" << m_dir << "/native auth-anonymous=1\n";
        for (const auto &line : m_extra)
            out << line << "\n";
        out << "set-default-sink null\nset-default-source silence\n";
        if (!out)
            return false;
    }

    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string var = *e;
        if (var.rfind("XDG_RUNTIME_DIR=", 0) == 0 || var.rfind("HOME=", 0) == 0
            || var.rfind("DBUS_", 0) == 0 || var.rfind("PULSE_", 0) == 0
            || var.rfind("XDG_CONFIG_HOME=", 0) == 0 || var.rfind("DISPLAY=", 0) == 0)
            continue;
        env.push_back(var);
    }
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    env.push_back("HOME=" + home);
    env.push_back("XDG_CONFIG_HOME=" + home + "/.config");
    // Keep it off every real bus.
    env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + m_dir + "/no-bus");
    env.push_back("DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + m_dir + "/no-bus");
    std::vector<char *> envp;
    for (auto &var : env)
        envp.push_back(&var[0]);
    envp.push_back(nullptr);

    std::vector<std::string> args = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
        "--disallow-exit", "--use-pid-file=no", "--system=no", "--disallow-module-loading=no",
        "-F", config, "--log-target=file:" + m_dir + "/server.log"};
    std::vector<char *> argv;
    for (auto &arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    m_pid = pid;

    const std::string socketPath = m_dir + "/native";
    for (int i = 0; i < 1000; i++) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return false;
        }
        if (socketAnswers(socketPath) && !pactl("info").empty())
            return true;
        usleep(10000);
    }
    stop();
    return false;
}

void PrivatePulseServer::stop()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; i++) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        usleep(10000);
    }
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    unlink((m_dir + "/native").c_str());
}

void PrivatePulseServer::exportToEnvironment() const
{
    const std::string home = m_dir + "/client-home";
    mkdir(home.c_str(), 0700);
    setenv("PULSE_SERVER", address().c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", "/dev/null", 1);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    unsetenv("DISPLAY");
}

std::string PrivatePulseServer::pactl(const std::string &args) const
{
    const std::string cmd = "env LANG=C LC_ALL=C PULSE_CLIENTCONFIG=/dev/null HOME='" + m_dir
        + "/client-home' PULSE_SERVER='" + address() + "' pactl " + args + " 2>/dev/null";
    FILE *pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return {};
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    const int status = pclose(pipe);
    if (status != 0)
        return {};
    return out;
}

std::vector<PrivatePulseServer::Entry> PrivatePulseServer::list(const std::string &what) const
{
    std::vector<Entry> entries;
    std::istringstream in(pactl("list " + what));
    std::string line;
    bool inProperties = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '\t' && line.find('#') != std::string::npos) {
            Entry e;
            e.index = static_cast<unsigned>(strtoul(line.substr(line.find('#') + 1).c_str(), nullptr, 10));
            entries.push_back(e);
            inProperties = false;
            continue;
        }
        if (entries.empty())
            continue;
        const std::string t = trim(line);
        if (line.rfind("\tCorked:", 0) == 0) {
            entries.back().corked = t.find("yes") != std::string::npos;
        } else if (line.rfind("\tProperties:", 0) == 0) {
            inProperties = true;
        } else if (inProperties && line.rfind("\t\t", 0) == 0) {
            const size_t eq = t.find(" = ");
            if (eq != std::string::npos) {
                std::string value = t.substr(eq + 3);
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr(1, value.size() - 2);
                entries.back().properties[t.substr(0, eq)] = value;
            }
        } else if (line.rfind("\t", 0) == 0 && line.rfind("\t\t", 0) != 0) {
            inProperties = false;
        }
    }
    return entries;
}
