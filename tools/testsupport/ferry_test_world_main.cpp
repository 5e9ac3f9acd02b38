// ferry-test-world: runs one command inside a private TestWorld.
//
//   ferry-test-world [--no-systemd] [--runtime-command CMD]
//                    [--systemd-arg ARG]... [--] COMMAND [ARG]...
//
// COMMAND sees DBUS_SYSTEM_BUS_ADDRESS and DBUS_SESSION_BUS_ADDRESS of the
// private buses, FERRY_RUNTIME_READY_FILE, FERRY_SYSTEMD_CALL_LOG (the
// stand-in's JSON-lines call log) and FERRY_TEST_WORLD_DIR (the world's
// temporary directory, removed afterwards). The exit status is COMMAND's
// (128+N if a signal N ended it; 125 if the world could not be set up).

#include "testworld.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestWorld::Options options;
    int i = 1;
    for (; i < argc; ++i) {
        const char *a = argv[i];
        if (!std::strcmp(a, "--")) {
            ++i;
            break;
        } else if (!std::strcmp(a, "--no-systemd")) {
            options.systemd = false;
        } else if (!std::strcmp(a, "--runtime-command") && i + 1 < argc) {
            options.runtimeCommand = QString::fromLocal8Bit(argv[++i]);
        } else if (!std::strcmp(a, "--systemd-arg") && i + 1 < argc) {
            options.systemdArguments << QString::fromLocal8Bit(argv[++i]);
        } else if (a[0] == '-') {
            std::fprintf(stderr,
                         "usage: ferry-test-world [--no-systemd] [--runtime-command CMD] "
                         "[--systemd-arg ARG]... [--] COMMAND [ARG]...\n");
            return 125;
        } else {
            break;
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "ferry-test-world: no command given\n");
        return 125;
    }

    TestWorld world;
    if (!world.start(options)) {
        std::fprintf(stderr, "ferry-test-world: %s\n", qPrintable(world.errorString()));
        return 125;
    }
    qputenv("FERRY_RUNTIME_READY_FILE", world.readyFile().toLocal8Bit());
    qputenv("FERRY_SYSTEMD_CALL_LOG", world.systemdCallLogPath().toLocal8Bit());
    qputenv("FERRY_TEST_WORLD_DIR", world.tempDir().toLocal8Bit());

    // The command stays in our process group so that the terminal's Ctrl-C
    // reaches it; we outlast it to tear the world down.
    ::signal(SIGINT, SIG_IGN);
    ::signal(SIGQUIT, SIG_IGN);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGQUIT, SIG_DFL);
        ::execvp(argv[i], argv + i);
        std::fprintf(stderr, "ferry-test-world: cannot run %s: %s\n", argv[i], std::strerror(errno));
        ::_exit(127);
    }
    if (pid < 0) {
        std::perror("ferry-test-world: fork");
        return 125;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    world.stop();
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
