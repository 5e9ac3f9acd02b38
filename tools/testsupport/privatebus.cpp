#include "privatebus.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray busConfig(const QString &type, const QString &socket)
{
    // Everyone may connect, own any name, send anything and receive
    // anything: the bus is private and its tests mix root and users.
    return QStringLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>%1</type>\n"
               "  <listen>unix:path=%2</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n"
               "    <allow own=\"*\"/>\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow send_type=\"method_call\"/>\n"
               "    <allow send_type=\"signal\"/>\n"
               "    <allow receive_sender=\"*\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n"
               "  </policy>\n"
               "</busconfig>\n")
        .arg(type, socket)
        .toUtf8();
}

QString errnoText() { return QString::fromLocal8Bit(strerror(errno)); }

} // namespace

PrivateBus::PrivateBus(const QString &socketPath)
    : PrivateBus([&socketPath] {
          Options options;
          options.socketPath = socketPath;
          return options;
      }())
{
}

PrivateBus::PrivateBus(const Options &options)
    : m_dir(QDir::tempPath() + QStringLiteral("/ferry-bus-XXXXXX"))
{
    start(options);
}

PrivateBus::~PrivateBus()
{
    stop();
}

bool PrivateBus::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool PrivateBus::start(const Options &options)
{
    if (!m_dir.isValid())
        return fail(QStringLiteral("cannot create a temporary directory: %1").arg(m_dir.errorString()));
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty())
        return fail(QStringLiteral("cannot find program dbus-daemon"));
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    const QString socket = options.socketPath.isEmpty() ? m_dir.filePath(QStringLiteral("socket")) : options.socketPath;
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(busConfig(options.type, socket)) < 0 || !file.flush())
        return fail(QStringLiteral("cannot write %1").arg(config));
    file.close();
    // The daemon's complaints (resource limits and the like) are noise in
    // test logs; they are kept for the error message of a failed start.
    const QString logPath = m_dir.filePath(QStringLiteral("bus.log"));

    // Everything the child needs is prepared here: between fork and exec a
    // threaded process may only make async-signal-safe calls.
    std::vector<QByteArray> argStore{QFile::encodeName(program),
                                     "--config-file=" + QFile::encodeName(config),
                                     "--print-address", "--nofork", "--nopidfile"};
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const int log = ::open(QFile::encodeName(logPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (log < 0)
        return fail(QStringLiteral("cannot create %1: %2").arg(logPath, errnoText()));
    const int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    int addressPipe[2];
    if (devnull < 0 || ::pipe2(addressPipe, O_CLOEXEC) < 0) {
        const QString reason = errnoText();
        ::close(log);
        if (devnull >= 0)
            ::close(devnull);
        return fail(QStringLiteral("cannot set up the daemon's input and output: %1").arg(reason));
    }

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Die with the test, even when nothing ever destroys this object;
        // the parent may have died before the request took hold.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(addressPipe[1], STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        // Nothing else of the test's (sockets, ctest's pipes) stays open in
        // a daemon that may outlive a crashed test by a moment.
        ::close_range(3, ~0U, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    const QString forkError = pid < 0 ? errnoText() : QString();
    ::close(log);
    ::close(devnull);
    ::close(addressPipe[1]);
    if (pid < 0) {
        ::close(addressPipe[0]);
        return fail(QStringLiteral("fork failed: %1").arg(forkError));
    }
    m_pid = pid;

    // The daemon prints its address once it listens.
    QByteArray line;
    QString error;
    QElapsedTimer timer;
    timer.start();
    while (!line.contains('\n')) {
        const qint64 left = options.startTimeoutMs - timer.elapsed();
        if (left <= 0) {
            error = QStringLiteral("dbus-daemon did not tell its address within %1 ms").arg(options.startTimeoutMs);
            break;
        }
        pollfd p{addressPipe[0], POLLIN, 0};
        const int r = ::poll(&p, 1, int(left));
        if (r < 0 && errno != EINTR) {
            error = QStringLiteral("poll failed: %1").arg(errnoText());
            break;
        }
        if (r <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(addressPipe[0], buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            int status = -1;
            pid_t w;
            do {
                w = ::waitpid(pid, &status, 0);
            } while (w < 0 && errno == EINTR);
            m_pid = 0;
            error = QStringLiteral("dbus-daemon ended before it told its address (status %1)").arg(status);
            break;
        }
        line.append(buf, int(n));
    }
    ::close(addressPipe[0]);
    const QString address = QString::fromUtf8(line.left(line.indexOf('\n'))).trimmed();
    if (error.isEmpty() && address.isEmpty())
        error = QStringLiteral("dbus-daemon printed an empty address");
    if (!error.isEmpty()) {
        stop(500);
        QFile logFile(logPath);
        if (logFile.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromLocal8Bit(logFile.readAll()).trimmed();
            if (!text.isEmpty())
                error += QStringLiteral(": ") + text;
        }
        return fail(error);
    }
    m_address = address;
    return true;
}

void PrivateBus::stop(int graceMs)
{
    if (!m_pid)
        return;
    const pid_t pid = pid_t(m_pid);
    m_pid = 0;
    auto reaped = [pid](bool block) {
        int status = 0;
        pid_t r;
        do {
            r = ::waitpid(pid, &status, block ? 0 : WNOHANG);
        } while (r < 0 && errno == EINTR);
        // ECHILD: someone else reaped it; it is gone either way.
        return r == pid || (r < 0 && errno == ECHILD);
    };
    if (reaped(false))
        return;
    ::kill(pid, SIGTERM);
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < graceMs) {
        if (reaped(false))
            return;
        QThread::msleep(5);
    }
    ::kill(pid, SIGKILL);
    reaped(true);
}

QDBusConnection PrivateBus::connect(const QString &name) const
{
    return QDBusConnection::connectToBus(m_address, name);
}
