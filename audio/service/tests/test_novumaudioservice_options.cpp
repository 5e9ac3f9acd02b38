// The program's command line and the ways it ends before it serves
// anything (no binder device needed).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <sys/wait.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;   // standard output and error
};

Outcome run(const std::string &arguments)
{
    Outcome r;
    const std::string cmd = "NOVUMAUDIOSERVICE_PLUGIN_DIR=/nonexistent PULSE_SERVER=unix:/nonexistent "
                            NOVUMAUDIOSERVICE_BIN " " + arguments + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    std::array<char, 512> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.output.append(buf.data(), n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST(NovumAudioServiceOptions, EndsEarlyWithTheRightStatusAndLine)
{
    struct Case {
        const char *arguments;
        int status;
        const char *line;
    } cases[] = {
        {"--version", 0, "NovumAudioService v0.18.0\n"},
        {"--version -v -d '' -n ''", 0, "NovumAudioService v0.18.0\n"},
        {"--bogus", 1, "service: Unknown option --bogus"},
        {"-p missing", 1, "service: failed to load /nonexistent/missing.so"},
        {"-p ../escape", 1, "service: failed to load ../escape"},
        {"-p ,", 1, "service: failed to load \n"},
        {"-t /nonexistent/file", 1, "service: Could not open /nonexistent/file for reading."},
    };
    for (const Case &c : cases) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.line), std::string::npos) << c.arguments << "\n" << r.output;
    }
}

TEST(NovumAudioServiceOptions, LogsItsVersionWhenItStarts)
{
    const Outcome r = run("-t /nonexistent/file");
    EXPECT_NE(r.output.find("service: NovumAudioService v0.18.0"), std::string::npos) << r.output;
    // The line shows no time stamp: it starts with the component.
    EXPECT_EQ(r.output.rfind("service: ", 0), 0u) << r.output;
}

} // namespace
