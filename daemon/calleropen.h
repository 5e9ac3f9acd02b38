#pragma once

#include <QString>
#include <sys/types.h>
#include <vector>

// Opening files that a D-Bus caller names, with the caller's own rights.
//
// The daemon runs as root; a caller must not get a file installed that it
// could not read itself. The file is opened in a short-lived child process
// that has taken on the caller's effective user, group and supplementary
// groups, and the descriptor comes back over a socket. The daemon then
// copies from that descriptor, so the file checked is the file copied even
// if the path is swapped meanwhile.

struct CallerIdentity
{
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Effective ids and supplementary groups of a process, from the Uid, Gid and
// Groups lines of /proc/<pid>/status. False when the process is gone or the
// file is not as expected.
bool callerIdentityForPid(pid_t pid, CallerIdentity *identity);
// The same from a status file's text (tests).
bool parseProcStatus(const QByteArray &status, CallerIdentity *identity);

// A path whose last component is empty, "." or ".." names no file to install.
bool isInstallableFileName(const QString &path);

const int kCallerOpenTimeoutMs = 10000;

enum class OpenResult {
    Opened,
    NotFound,         // no such file (for that caller)
    AccessDenied,     // exists, but the caller may not read it
    NotRegularFile,   // a directory, device, FIFO, socket...
    Failed,           // could not switch identity, fork, pass the descriptor...
};

// Opens path read-only (O_CLOEXEC) as the caller, or with the daemon's own
// rights when identity is null (internal requests). On Opened *fd holds a
// descriptor of a regular file that the caller owns the closing of. *error
// receives a text for the log otherwise. The child runs with the caller's
// ids, so the caller can stop it, and an open can hang (a FUSE file served
// by the caller): a child that has not answered within timeoutMs is killed
// and the open has Failed.
OpenResult openFileAs(const QString &path, const CallerIdentity *identity, int *fd, QString *error,
                      int timeoutMs = kCallerOpenTimeoutMs);

// Copies everything from in (from its current offset) to out.
bool copyBetweenDescriptors(int in, int out, QString *error);

// Copies everything from fd (from its current offset) to a new file target,
// which must not exist yet. On failure the partial target is removed.
bool copyFromDescriptor(int fd, const QString &target, QString *error);
