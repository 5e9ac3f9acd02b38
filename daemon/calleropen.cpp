#include "calleropen.h"

#include <QFile>
#include <QList>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// What the child tells the parent, beside the descriptor.
struct ChildReport
{
    int result;   // OpenResult
    int error;    // errno of the failing step
};

bool parseId(const QByteArray &field, unsigned long *value)
{
    bool ok = false;
    *value = field.toULong(&ok);
    return ok && *value <= UINT_MAX - 1;   // (uid_t)-1 means "unchanged" to setresuid
}

OpenResult classify(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return OpenResult::NotFound;
    case EACCES:
    case EPERM:
        return OpenResult::AccessDenied;
    default:
        return OpenResult::Failed;
    }
}

// Closes every descriptor but keep, async-signal-safely.
void closeAllBut(int keep)
{
    bool closed = (keep == 0 || close_range(0, unsigned(keep) - 1, 0) == 0) &&
                  close_range(unsigned(keep) + 1, ~0U, 0) == 0;
    if (closed)
        return;
    struct rlimit limit;
    const rlim_t last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
                                limit.rlim_cur <= 1048576
                            ? limit.rlim_cur
                            : 1048576;
    for (rlim_t fd = 0; fd < last; ++fd) {
        if (int(fd) != keep)
            close(int(fd));
    }
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void childOpen(int sock, const char *path, const CallerIdentity *identity)
{
    ChildReport report{int(OpenResult::Failed), 0};
    int fd = -1;
    // The child runs as the caller with a copy of the daemon's descriptors
    // (system bus, binder, open files). Where fs.suid_dumpable leaves it
    // dumpable, the caller could reach them by tracing it or through
    // /proc/<pid>/fd, and the open below through /proc/self/fd.
    closeAllBut(sock);
    if (identity) {
        if (setgroups(identity->groups.size(), identity->groups.data()) != 0 ||
            setresgid(identity->gid, identity->gid, identity->gid) != 0 ||
            setresuid(identity->uid, identity->uid, identity->uid) != 0) {
            report.error = errno;
            (void)!write(sock, &report, sizeof report);
            _exit(1);
        }
    }
    // O_NONBLOCK: a FIFO must not hang the open; it is refused below anyway.
    fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        report.error = errno;
        report.result = int(classify(errno));
    } else {
        struct stat st;
        if (fstat(fd, &st) != 0) {
            report.error = errno;
        } else if (!S_ISREG(st.st_mode)) {
            report.result = int(OpenResult::NotRegularFile);
        } else {
            report.result = int(OpenResult::Opened);
        }
    }
    struct iovec iov;
    iov.iov_base = &report;
    iov.iov_len = sizeof report;
    union {
        char buffer[CMSG_SPACE(sizeof(int))];
        struct cmsghdr align;
    } control;
    memset(&control, 0, sizeof control);
    struct msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (report.result == int(OpenResult::Opened)) {
        msg.msg_control = control.buffer;
        msg.msg_controllen = sizeof control.buffer;
        struct cmsghdr *cmsg = CMSG_FIRSTHDR(&msg);
        cmsg->cmsg_level = SOL_SOCKET;
        cmsg->cmsg_type = SCM_RIGHTS;
        cmsg->cmsg_len = CMSG_LEN(sizeof(int));
        memcpy(CMSG_DATA(cmsg), &fd, sizeof(int));
    }
    const ssize_t sent = sendmsg(sock, &msg, MSG_NOSIGNAL);
    _exit(sent == ssize_t(sizeof report) ? 0 : 1);
}

// Receives the child's report and descriptor; -1 and a Failed report when
// the child died without telling or has not told within timeoutMs.
ChildReport receiveReport(int sock, int *fd, int timeoutMs)
{
    ChildReport report{int(OpenResult::Failed), 0};
    *fd = -1;
    struct pollfd pfd;
    pfd.fd = sock;
    pfd.events = POLLIN;
    pfd.revents = 0;
    int ready;
    do {
        ready = poll(&pfd, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        report.error = ready == 0 ? ETIMEDOUT : errno;
        return report;
    }
    struct iovec iov;
    iov.iov_base = &report;
    iov.iov_len = sizeof report;
    union {
        char buffer[CMSG_SPACE(sizeof(int))];
        struct cmsghdr align;
    } control;
    memset(&control, 0, sizeof control);
    struct msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control.buffer;
    msg.msg_controllen = sizeof control.buffer;
    ssize_t received;
    do {
        received = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    *fd = -1;
    for (struct cmsghdr *cmsg = CMSG_FIRSTHDR(&msg); cmsg; cmsg = CMSG_NXTHDR(&msg, cmsg)) {
        if (cmsg->cmsg_level == SOL_SOCKET && cmsg->cmsg_type == SCM_RIGHTS &&
            cmsg->cmsg_len >= CMSG_LEN(sizeof(int))) {
            memcpy(fd, CMSG_DATA(cmsg), sizeof(int));
            // Close any further descriptors a broken child might have sent.
            const size_t count = (cmsg->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 1; i < count; ++i) {
                int extra;
                memcpy(&extra, CMSG_DATA(cmsg) + i * sizeof(int), sizeof(int));
                close(extra);
            }
        }
    }
    if (received != ssize_t(sizeof report) || (msg.msg_flags & MSG_CTRUNC)) {
        report = ChildReport{int(OpenResult::Failed), received < 0 ? errno : EPROTO};
    }
    if (report.result != int(OpenResult::Opened) && *fd >= 0) {
        close(*fd);
        *fd = -1;
    } else if (report.result == int(OpenResult::Opened) && *fd < 0) {
        report = ChildReport{int(OpenResult::Failed), EPROTO};
    }
    return report;
}

QString describe(const QString &path, OpenResult result, int err)
{
    switch (result) {
    case OpenResult::Opened:
        return QString();
    case OpenResult::NotFound:
        return QStringLiteral("no such file: %1").arg(path);
    case OpenResult::AccessDenied:
        return QStringLiteral("caller may not read %1 (%2)").arg(path, QString::fromLocal8Bit(strerror(err)));
    case OpenResult::NotRegularFile:
        return QStringLiteral("not a regular file: %1").arg(path);
    case OpenResult::Failed:
        break;
    }
    return QStringLiteral("cannot open %1 as the caller (%2)").arg(path, QString::fromLocal8Bit(strerror(err)));
}

} // namespace

bool parseProcStatus(const QByteArray &status, CallerIdentity *identity)
{
    bool haveUid = false, haveGid = false, haveGroups = false;
    CallerIdentity result;
    for (const QByteArray &line : status.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray key = line.left(colon);
        const QList<QByteArray> fields = line.mid(colon + 1).simplified().split(' ');
        if (key == "Uid" || key == "Gid") {
            unsigned long value = 0;
            // real, effective, saved, filesystem: the effective id counts.
            if (fields.size() < 2 || !parseId(fields.at(1), &value))
                return false;
            if (key == "Uid") {
                result.uid = uid_t(value);
                haveUid = true;
            } else {
                result.gid = gid_t(value);
                haveGid = true;
            }
        } else if (key == "Groups") {
            for (const QByteArray &field : fields) {
                if (field.isEmpty())
                    continue;
                unsigned long value = 0;
                if (!parseId(field, &value) || result.groups.size() >= size_t(NGROUPS_MAX))
                    return false;
                result.groups.push_back(gid_t(value));
            }
            haveGroups = true;
        }
    }
    if (!haveUid || !haveGid || !haveGroups)
        return false;
    *identity = std::move(result);
    return true;
}

bool callerIdentityForPid(pid_t pid, CallerIdentity *identity)
{
    if (pid <= 0)
        return false;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    return parseProcStatus(status.read(64 * 1024), identity);
}

bool isInstallableFileName(const QString &path)
{
    const QString last = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    return !last.isEmpty() && last != QLatin1String(".") && last != QLatin1String("..");
}

OpenResult openFileAs(const QString &path, const CallerIdentity *identity, int *fd, QString *error, int timeoutMs)
{
    *fd = -1;
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty() || encoded.contains('\0')) {
        if (error)
            *error = describe(path, OpenResult::NotFound, ENOENT);
        return OpenResult::NotFound;
    }
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        if (error)
            *error = describe(path, OpenResult::Failed, errno);
        return OpenResult::Failed;
    }
    const pid_t child = fork();
    if (child < 0) {
        const int err = errno;
        close(sockets[0]);
        close(sockets[1]);
        if (error)
            *error = describe(path, OpenResult::Failed, err);
        return OpenResult::Failed;
    }
    if (child == 0) {
        close(sockets[0]);
        childOpen(sockets[1], encoded.constData(), identity);
    }
    close(sockets[1]);
    const ChildReport report = receiveReport(sockets[0], fd, timeoutMs);
    close(sockets[0]);
    // The child has nothing left to do but exit. One that did not answer is
    // stopped or stuck, and the caller can stop it after it answered too: a
    // plain wait could last for ever, SIGKILL ends every case.
    kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const OpenResult result = OpenResult(report.result);
    if (result == OpenResult::Opened) {
        // Reads of a regular file never block; clear the flag for the copy anyway.
        const int flags = fcntl(*fd, F_GETFL);
        if (flags >= 0)
            fcntl(*fd, F_SETFL, flags & ~O_NONBLOCK);
    } else if (error) {
        *error = describe(path, result, report.error);
    }
    return result;
}

bool copyBetweenDescriptors(int in, int out, QString *error)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (error)
                *error = QString::fromLocal8Bit(strerror(errno));
            return false;
        }
        if (n == 0)
            return true;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                if (error)
                    *error = QString::fromLocal8Bit(strerror(w < 0 ? errno : EIO));
                return false;
            }
            done += w;
        }
    }
}

bool copyFromDescriptor(int fd, const QString &target, QString *error)
{
    const QByteArray path = QFile::encodeName(target);
    const int out = open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0) {
        if (error)
            *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    bool ok = copyBetweenDescriptors(fd, out, error);
    if (close(out) != 0 && ok) {
        ok = false;
        if (error)
            *error = QString::fromLocal8Bit(strerror(errno));
    }
    if (!ok)
        unlink(path.constData());
    return ok;
}
