#include "testworld.h"

#include "privatebus.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef FERRY_SYSTEMD_STANDIN_BIN
#define FERRY_SYSTEMD_STANDIN_BIN "ferry-systemd-standin"
#endif

namespace {

const QString kService = QStringLiteral("org.freedesktop.systemd1");
const QString kControlPath = QStringLiteral("/com/kestrel/ferry/SystemdStandin");
const QString kControlInterface = QStringLiteral("com.kestrel.ferry.SystemdStandin");
const QString kUnitPath = QStringLiteral("/org/freedesktop/systemd1/unit/rididirevov_2eservice");

struct Child
{
    QString name;
    QString outputPath;
    bool reaped = false;
    int status = -1;
};

} // namespace

struct TestWorld::Private
{
    QString error;
    QString dir;
    // The buses outlive every other process of the world.
    std::unique_ptr<PrivateBus> systemBus;
    std::unique_ptr<PrivateBus> sessionBus;
    // Kept after teardown: the environment stays pointed at the dead buses.
    QString systemAddress;
    QString sessionAddress;
    bool running = false;
    qint64 systemdPid = 0;
    std::map<qint64, Child> children;
    std::vector<qint64> order; // start order; torn down in reverse
    int counter = 0;

    bool fail(const QString &message)
    {
        error = message;
        return false;
    }

    qint64 spawn(const QString &program, const QStringList &arguments, const QStringList &env);
    bool reap(qint64 pid, bool block);
    bool waitForLine(qint64 pid, const QString &line, int timeoutMs, QString *found);
    bool stopChild(qint64 pid, int graceMs);
};

qint64 TestWorld::Private::spawn(const QString &program, const QStringList &arguments,
                                 const QStringList &extraEnv)
{
    const QString path = program.contains(QLatin1Char('/'))
        ? program
        : QStandardPaths::findExecutable(program);
    if (path.isEmpty() || !QFileInfo(path).isExecutable()) {
        error = QStringLiteral("cannot find program %1").arg(program);
        return 0;
    }
    const QString name = QFileInfo(path).fileName();
    const QString outputPath = QStringLiteral("%1/%2-%3.out").arg(dir).arg(++counter).arg(name);

    // Everything the child needs is prepared here: between fork and exec a
    // threaded process may only make async-signal-safe calls.
    std::vector<QByteArray> argStore{QFile::encodeName(path)};
    for (const QString &a : arguments)
        argStore.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::map<QByteArray, QByteArray> envMap;
    for (char **e = environ; e && *e; ++e) {
        const QByteArray entry(*e);
        const int eq = entry.indexOf('=');
        if (eq > 0)
            envMap[entry.left(eq)] = entry;
    }
    QStringList all{QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + systemAddress,
                    QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + sessionAddress,
                    QStringLiteral("FERRY_RUNTIME_READY_FILE=") + dir + QStringLiteral("/runtime.ready")};
    all += extraEnv;
    for (const QString &e : all) {
        const QByteArray entry = e.toLocal8Bit();
        const int eq = entry.indexOf('=');
        if (eq > 0)
            envMap[entry.left(eq)] = entry;
    }
    std::vector<QByteArray> envStore;
    for (auto &kv : envMap)
        envStore.push_back(kv.second);
    std::vector<char *> envp;
    for (QByteArray &e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const int out = ::open(QFile::encodeName(outputPath).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        error = QStringLiteral("cannot create %1: %2").arg(outputPath, QString::fromLocal8Bit(strerror(errno)));
        return 0;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out);
        error = QStringLiteral("fork failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return 0;
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(out, STDOUT_FILENO);
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            ::dup2(devnull, STDIN_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::setpgid(pid, pid); // also from here, so that signals reach the group at once
    children[pid] = Child{name, outputPath, false, -1};
    order.push_back(pid);
    return pid;
}

bool TestWorld::Private::reap(qint64 pid, bool block)
{
    auto it = children.find(pid);
    if (it == children.end())
        return true;
    if (it->second.reaped)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_t(pid), &status, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid_t(pid) || (r < 0 && errno == ECHILD)) {
        it->second.reaped = true;
        it->second.status = r == pid_t(pid) ? status : -1;
        return true;
    }
    return false;
}

bool TestWorld::Private::waitForLine(qint64 pid, const QString &line, int timeoutMs, QString *found)
{
    QElapsedTimer timer;
    timer.start();
    const QString path = children[pid].outputPath;
    for (;;) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QStringList lines = QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'));
            // Only whole lines: the last piece may still be being written.
            for (int i = 0; i + 1 < lines.size(); ++i) {
                if (lines.at(i).contains(line)) {
                    if (found)
                        *found = lines.at(i).trimmed();
                    return true;
                }
            }
        }
        if (reap(pid, false))
            return fail(QStringLiteral("%1 ended before it was ready (status %2)")
                            .arg(children[pid].name)
                            .arg(children[pid].status));
        if (timer.elapsed() > timeoutMs)
            return fail(QStringLiteral("%1 did not get ready within %2 ms")
                            .arg(children[pid].name)
                            .arg(timeoutMs));
        QThread::msleep(5);
    }
}

bool TestWorld::Private::stopChild(qint64 pid, int graceMs)
{
    auto it = children.find(pid);
    if (it == children.end())
        return true;
    if (!it->second.reaped) {
        ::kill(-pid_t(pid), SIGTERM);
        QElapsedTimer timer;
        timer.start();
        while (!reap(pid, false) && timer.elapsed() < graceMs)
            QThread::msleep(5);
        if (!it->second.reaped) {
            ::kill(-pid_t(pid), SIGKILL);
            reap(pid, true);
        }
    }
    // Whatever the process left behind in its group goes too.
    ::kill(-pid_t(pid), SIGKILL);
    return true;
}

TestWorld::TestWorld()
    : d(new Private)
{
}

TestWorld::~TestWorld()
{
    stop();
}

bool TestWorld::start(const Options &options)
{
    if (d->running)
        return d->fail(QStringLiteral("the world is already running"));
    d->error.clear();

    char pattern[] = "/tmp/ferry-world-XXXXXX";
    if (!::mkdtemp(pattern))
        return d->fail(QStringLiteral("cannot create a temporary directory"));
    d->dir = QString::fromLocal8Bit(pattern);
    ::chmod(pattern, 0755); // users' processes must reach the bus sockets
    d->running = true;

    auto startBus = [this, &options](const QString &type, std::unique_ptr<PrivateBus> *bus, QString *address) {
        PrivateBus::Options busOptions;
        busOptions.socketPath = d->dir + QStringLiteral("/%1_bus_socket").arg(type);
        busOptions.type = type;
        busOptions.startTimeoutMs = options.startTimeoutMs;
        *bus = std::make_unique<PrivateBus>(busOptions);
        if (!(*bus)->isRunning())
            return d->fail(QStringLiteral("%1 bus: %2").arg(type, (*bus)->errorString()));
        *address = (*bus)->address();
        return true;
    };

    if (!startBus(QStringLiteral("system"), &d->systemBus, &d->systemAddress)
        || !startBus(QStringLiteral("session"), &d->sessionBus, &d->sessionAddress)) {
        const QString error = d->error;
        stop();
        d->error = error;
        return false;
    }
    if (options.exportEnvironment) {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", d->systemAddress.toLocal8Bit());
        qputenv("DBUS_SESSION_BUS_ADDRESS", d->sessionAddress.toLocal8Bit());
    }

    if (options.systemd) {
        const QByteArray custom = qgetenv("FERRY_SYSTEMD_STANDIN");
        const QString program = custom.isEmpty() ? QStringLiteral(FERRY_SYSTEMD_STANDIN_BIN)
                                                 : QString::fromLocal8Bit(custom);
        QStringList args{QStringLiteral("--bus"), d->systemAddress,
                         QStringLiteral("--call-log"), systemdCallLogPath(),
                         QStringLiteral("--ready-file"), readyFile()};
        if (!options.runtimeCommand.isEmpty())
            args << QStringLiteral("--runtime-command") << options.runtimeCommand;
        args += options.systemdArguments;
        // The stand-in must not inherit a runtime command from the test's
        // own environment.
        d->systemdPid = d->spawn(program, args, {QStringLiteral("FERRY_RUNTIME_COMMAND=")});
        if (!d->systemdPid || !d->waitForLine(d->systemdPid, QStringLiteral("ready"), options.startTimeoutMs, nullptr)) {
            const QString error = d->error;
            stop();
            d->error = error;
            return false;
        }
    }
    return true;
}

void TestWorld::stop()
{
    if (!d->running)
        return;
    for (auto it = d->order.rbegin(); it != d->order.rend(); ++it)
        d->stopChild(*it, 2000);
    d->order.clear();
    d->children.clear();
    d->systemdPid = 0;
    d->sessionBus.reset();
    d->systemBus.reset();
    if (!d->dir.isEmpty())
        QDir(d->dir).removeRecursively();
    d->dir.clear();
    d->running = false;
}

bool TestWorld::isRunning() const { return d->running; }
QString TestWorld::errorString() const { return d->error; }
QString TestWorld::tempDir() const { return d->dir; }
QString TestWorld::systemBusAddress() const { return d->systemAddress; }
QString TestWorld::sessionBusAddress() const { return d->sessionAddress; }
QString TestWorld::readyFile() const { return d->dir + QStringLiteral("/runtime.ready"); }
QString TestWorld::systemdCallLogPath() const { return d->dir + QStringLiteral("/systemd-calls.jsonl"); }
qint64 TestWorld::systemdPid() const { return d->systemdPid; }

QStringList TestWorld::environment() const
{
    return {QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS=") + d->systemAddress,
            QStringLiteral("DBUS_SESSION_BUS_ADDRESS=") + d->sessionAddress,
            QStringLiteral("FERRY_RUNTIME_READY_FILE=") + readyFile()};
}

qint64 TestWorld::startProcess(const QString &program, const QStringList &arguments,
                               const QStringList &extraEnv, const QString &readyLine, int timeoutMs)
{
    if (!d->running) {
        d->error = QStringLiteral("the world is not running");
        return 0;
    }
    const qint64 pid = d->spawn(program, arguments, extraEnv);
    if (pid && !readyLine.isEmpty() && !d->waitForLine(pid, readyLine, timeoutMs, nullptr)) {
        d->stopChild(pid, 500);
        return 0;
    }
    return pid;
}

bool TestWorld::stopProcess(qint64 pid, int graceMs)
{
    return d->stopChild(pid, graceMs);
}

bool TestWorld::signalProcess(qint64 pid, int sig)
{
    if (d->children.find(pid) == d->children.end() || d->reap(pid, false))
        return false;
    return ::kill(-pid_t(pid), sig) == 0;
}

bool TestWorld::isProcessRunning(qint64 pid)
{
    return d->children.find(pid) != d->children.end() && !d->reap(pid, false);
}

int TestWorld::processExitStatus(qint64 pid) const
{
    const auto it = d->children.find(pid);
    return it == d->children.end() ? -1 : it->second.status;
}

QString TestWorld::outputFile(qint64 pid) const
{
    const auto it = d->children.find(pid);
    return it == d->children.end() ? QString() : it->second.outputPath;
}

QString TestWorld::processOutput(qint64 pid) const
{
    QFile f(outputFile(pid));
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

namespace {

QDBusMessage control(const QDBusConnection &via, const QString &member, const QVariantList &args = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kControlPath, kControlInterface, member);
    call.setArguments(args);
    return QDBusConnection(via).call(call, QDBus::Block, 10000);
}

} // namespace

QList<QJsonObject> TestWorld::systemdCalls(const QDBusConnection &via) const
{
    QList<QJsonObject> out;
    const QDBusReply<QString> text = control(via, QStringLiteral("CallLog"));
    if (!text.isValid())
        return out;
    for (const QString &line : text.value().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out.append(QJsonDocument::fromJson(line.toUtf8()).object());
    return out;
}

int TestWorld::systemdCallCount(const QString &member, const QDBusConnection &via) const
{
    int n = 0;
    for (const QJsonObject &call : systemdCalls(via))
        n += call.value(QStringLiteral("member")).toString() == member ? 1 : 0;
    return n;
}

bool TestWorld::clearSystemdCalls(const QDBusConnection &via)
{
    return control(via, QStringLiteral("ClearCallLog")).type() == QDBusMessage::ReplyMessage;
}

bool TestWorld::setUnitProperties(const QVariantMap &changed, const QDBusConnection &via)
{
    return control(via, QStringLiteral("SetUnitProperties"), {changed}).type() == QDBusMessage::ReplyMessage;
}

bool TestWorld::emitUnitPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                          const QStringList &invalidated, const QDBusConnection &via)
{
    return control(via, QStringLiteral("EmitPropertiesChanged"), {interface, changed, invalidated}).type()
        == QDBusMessage::ReplyMessage;
}

QVariantMap TestWorld::unitProperties(const QDBusConnection &via) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kUnitPath,
                                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                                       QStringLiteral("GetAll"));
    call << QStringLiteral("org.freedesktop.systemd1.Unit");
    const QDBusReply<QVariantMap> reply = QDBusConnection(via).call(call, QDBus::Block, 10000);
    return reply.isValid() ? reply.value() : QVariantMap();
}

bool TestWorld::killRuntime(int sig, const QDBusConnection &via)
{
    const QDBusReply<bool> reply = control(via, QStringLiteral("KillRuntime"), {sig});
    return reply.isValid() && reply.value();
}

qint64 TestWorld::runtimePid(const QDBusConnection &via) const
{
    const QDBusReply<int> reply = control(via, QStringLiteral("RuntimePid"));
    return reply.isValid() ? reply.value() : 0;
}

bool TestWorld::waitForUnitState(const QString &state, int timeoutMs, const QDBusConnection &via) const
{
    return waitFor([&] { return unitProperties(via).value(QStringLiteral("ActiveState")).toString() == state; },
                   timeoutMs);
}

bool TestWorld::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (condition())
            return true;
        if (timer.elapsed() > timeoutMs)
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}
