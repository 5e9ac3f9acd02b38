#include "runtimeprocess.h"

#include <QFile>
#include <QProcessEnvironment>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

class RuntimeProcess::Process : public QProcess
{
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override
    {
        // Own process group, and gone with the stand-in even if the
        // stand-in is killed hard.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    }
};

RuntimeProcess::RuntimeProcess(const QString &command, const QString &readyFile, int stopTimeoutMs,
                               QObject *parent)
    : QObject(parent)
    , m_process(new Process(this))
    , m_command(command)
    , m_readyFile(readyFile)
{
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    m_process->setInputChannelMode(QProcess::ForwardedInputChannel);
    m_readyPoll.setInterval(20);
    connect(&m_readyPoll, &QTimer::timeout, this, [this] {
        if (QFile::exists(m_readyFile)) {
            m_readyPoll.stop();
            emit ready();
        }
    });
    m_killTimer.setSingleShot(true);
    m_killTimer.setInterval(stopTimeoutMs);
    connect(&m_killTimer, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &RuntimeProcess::onFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            qWarning("Cannot start the runtime command: %s", qPrintable(m_process->errorString()));
            m_readyPoll.stop();
            emit ended(m_stopping);
        }
    });
}

RuntimeProcess::~RuntimeProcess()
{
    if (isRunning()) {
        m_stopping = true;
        signalGroup(SIGKILL);
        m_process->waitForFinished(2000);
    }
}

bool RuntimeProcess::isRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

qint64 RuntimeProcess::pid() const
{
    return isRunning() ? m_pid : 0;
}

void RuntimeProcess::start()
{
    if (isRunning())
        return;
    m_stopping = false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!m_readyFile.isEmpty()) {
        QFile::remove(m_readyFile);
        env.insert(QStringLiteral("FERRY_RUNTIME_READY_FILE"), m_readyFile);
    }
    m_process->setProcessEnvironment(env);
    m_process->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), m_command});
    if (!m_process->waitForStarted(5000))
        return; // errorOccurred reported it
    m_pid = m_process->processId();
    // Also from this side: a signal sent before the child got to it must
    // still reach the whole group.
    ::setpgid(pid_t(m_pid), pid_t(m_pid));
    if (m_readyFile.isEmpty())
        QMetaObject::invokeMethod(this, &RuntimeProcess::ready, Qt::QueuedConnection);
    else
        m_readyPoll.start();
}

void RuntimeProcess::stop()
{
    if (!isRunning() || m_stopping)
        return;
    m_stopping = true;
    m_readyPoll.stop();
    signalGroup(SIGTERM);
    m_killTimer.start();
}

bool RuntimeProcess::kill(int sig)
{
    if (!isRunning() || sig <= 0 || sig >= NSIG)
        return false;
    signalGroup(sig);
    return true;
}

void RuntimeProcess::signalGroup(int sig)
{
    if (m_pid <= 0)
        return;
    if (::kill(-pid_t(m_pid), sig) != 0)
        ::kill(pid_t(m_pid), sig);
}

void RuntimeProcess::onFinished()
{
    m_readyPoll.stop();
    m_killTimer.stop();
    // Whatever the command left behind in its group goes with it.
    if (m_pid > 0)
        ::kill(-pid_t(m_pid), SIGKILL);
    emit ended(m_stopping);
}
