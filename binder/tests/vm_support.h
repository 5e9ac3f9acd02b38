#pragma once

// Helpers of the two-process tests: child processes that announce "ready",
// waiting while the GLib main context runs, and the driver's own view of
// a process (debugfs).

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace ferry::binder::test {

// A child process started from argv; ready() once it printed "ready".
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> argv) : m_argv(std::move(argv)) {}
    ~ChildProcess() { stop(); }

    bool start(int timeoutMs = 20000)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return false;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(fds[1], 1);
            std::vector<char *> args;
            for (std::string &a : m_argv)
                args.push_back(&a[0]);
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        FILE *out = fdopen(fds[0], "r");
        char line[64] = {};
        bool ready = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        // fgets blocks; the child either prints or exits (closing the pipe).
        while (std::chrono::steady_clock::now() < deadline && fgets(line, sizeof line, out)) {
            if (!strncmp(line, "ready", 5)) {
                ready = true;
                break;
            }
        }
        m_out = out;
        return ready;
    }

    void kill(int sig = SIGKILL)
    {
        if (m_pid > 0)
            ::kill(m_pid, sig);
    }

    int wait()
    {
        int status = -1;
        if (m_pid > 0) {
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (m_out) {
            fclose(m_out);
            m_out = nullptr;
        }
        return status;
    }

    void stop()
    {
        if (m_pid > 0) {
            kill(SIGTERM);
            // Give it a moment to leave cleanly, then insist.
            for (int i = 0; i < 100; ++i) {
                int status;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = -1;
                    break;
                }
                g_usleep(10000);
            }
            if (m_pid > 0) {
                kill(SIGKILL);
                wait();
            }
        }
        if (m_out) {
            fclose(m_out);
            m_out = nullptr;
        }
    }

    pid_t pid() const { return m_pid; }

private:
    std::vector<std::string> m_argv;
    pid_t m_pid = -1;
    FILE *m_out = nullptr;
};

// Runs the default main context until |done| or the time is up.
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs = 15000)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(2000);
    }
    return true;
}

inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

inline int openFdCount()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (struct dirent *e = readdir(dir)) {
        if (e->d_name[0] != '.')
            ++count;
    }
    closedir(dir);
    return count - 1;   // the directory itself
}

// What the driver holds for a process on one device context: counts of
// lines starting with "node", "ref", "buffer" and "thread".
struct DriverView {
    int nodes = 0;
    int refs = 0;
    int buffers = 0;
    bool read = false;
    std::string text;   // the device's section
};

inline DriverView driverView(pid_t pid, const std::string &device)
{
    DriverView view;
    std::ifstream in("/sys/kernel/debug/binder/proc/" + std::to_string(pid));
    std::string line;
    std::string context = "context " + device.substr(device.rfind('/') + 1);
    bool inContext = false;
    while (std::getline(in, line)) {
        view.read = true;
        if (line.rfind("context ", 0) == 0) {
            inContext = line == context;
            continue;
        }
        if (!inContext)
            continue;
        view.text += line + "\n";
        size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        std::string word = line.substr(start, line.find(' ', start) - start);
        if (word == "node")
            ++view.nodes;
        else if (word == "ref")
            ++view.refs;
        else if (word == "buffer")
            ++view.buffers;
    }
    return view;
}

} // namespace ferry::binder::test
