/*
 * A PulseAudio server of our own for tests and benchmarks: runs from a
 * temporary directory (its own XDG_RUNTIME_DIR and HOME, no D-Bus), serves
 * one private unix socket with anonymous access, a 48 kHz stereo null sink
 * and a null source. Never the user's server.
 */
#ifndef NAUDIO_TESTS_PRIVATE_PULSE_SERVER_H
#define NAUDIO_TESTS_PRIVATE_PULSE_SERVER_H

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class PrivatePulseServer {
public:
    // Extra configuration lines, e.g. "load-module module-role-cork trigger_roles=phone".
    explicit PrivatePulseServer(std::vector<std::string> extraLines = {});
    ~PrivatePulseServer();
    PrivatePulseServer(const PrivatePulseServer &) = delete;
    PrivatePulseServer &operator=(const PrivatePulseServer &) = delete;

    // Starts the server and waits until it answers; false on failure.
    bool start();
    void stop();
    bool running() const { return m_pid > 0; }

    // "unix:<dir>/native", valid before start() too.
    std::string address() const { return "unix:" + m_dir + "/native"; }
    const std::string &directory() const { return m_dir; }

    // Points this process's PulseAudio clients at the server (PULSE_SERVER,
    // no client.conf, a private HOME for the client's cookie lookup).
    void exportToEnvironment() const;

    // Runs pactl against the server; stdout, or empty on failure.
    std::string pactl(const std::string &args) const;

    struct Entry {
        unsigned index = 0;
        bool corked = false;
        std::map<std::string, std::string> properties;
    };
    // "sink-inputs" or "source-outputs".
    std::vector<Entry> list(const std::string &what) const;

private:
    std::string m_dir;
    std::vector<std::string> m_extra;
    pid_t m_pid = -1;
};

#endif
