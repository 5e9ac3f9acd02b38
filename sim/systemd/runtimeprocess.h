#pragma once

#include <QObject>
#include <QProcess>
#include <QTimer>

// The command behind the unit. It runs in a process group of its own so
// that stopping it reaches every process it started, as systemd's cgroup
// does.
//
// Readiness: with a ready file, the command is ready once that file
// exists (the command creates it, e.g. `touch "$FERRY_RUNTIME_READY_FILE"`);
// a stale file is removed before each start. Without one it is ready as
// soon as it has been started.
class RuntimeProcess : public QObject
{
    Q_OBJECT

public:
    RuntimeProcess(const QString &command, const QString &readyFile, int stopTimeoutMs,
                   QObject *parent = nullptr);
    ~RuntimeProcess() override;

    bool isRunning() const;
    qint64 pid() const;

    void start();
    // SIGTERM to the group, SIGKILL after the stop time-out.
    void stop();
    // Sends sig to the group without asking the process to stop, as a crash
    // or an outside kill would.
    bool kill(int sig);

signals:
    void ready();
    // The command ended or could not be started. asked: stop() caused it.
    void ended(bool asked);

private:
    void signalGroup(int sig);
    void onFinished();

    class Process;
    Process *m_process;
    QString m_command;
    QString m_readyFile;
    QTimer m_readyPoll;
    QTimer m_killTimer;
    qint64 m_pid = 0;
    bool m_stopping = false;
};
