#pragma once

#include "private-pulse-server.h"

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// novumaudioservice as a real process in the test guest, with what it
// meets there: a private PulseAudio server (null sink and source), the
// simulated Android runtime (its audio HAL and "novum.audio.control"), and
// the test plugins' folder. Shared by the guest tests, the benchmark and
// the demo.
class AudioServiceWorld
{
public:
    AudioServiceWorld();
    ~AudioServiceWorld();

    // Pulse server and simulator (publishing |services|: comma-separated,
    // "all" or "none"). False with a reason.
    bool start(QString *error, const QString &services = QStringLiteral("all"));
    // Starts the service with these arguments and waits until it has
    // registered (or, with waitFor empty, not at all). Its pid or 0.
    qint64 startService(const QStringList &arguments, const QString &waitFor = QStringLiteral("Added NovumAudioService"));
    // SIGTERM, then its exit status (-1 if it had to be killed or crashed).
    int stopService();
    qint64 servicePid() const;
    bool serviceRunning() const;

    // Everything the service wrote to standard error so far.
    QString serviceLog() const;
    // Waits until |needle| occurs at least |count| times in the log.
    bool waitForLog(const QString &needle, int count = 1, int timeoutMs = 10000) const;
    int logCount(const QString &needle) const;

    // One JSON command to the simulator and its answer (empty on failure).
    QJsonObject command(const QJsonObject &command) const;
    // The audio HAL's script; the per-step results (empty on failure).
    QList<QJsonObject> hal(const QList<QJsonObject> &steps) const;
    // Transactions the simulated service logged, in order.
    QList<QJsonObject> transactions(const QString &service) const;

    PrivatePulseServer &pulse() { return m_pulse; }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    static QString pluginDirectory();

private:
    QTemporaryDir m_dir;
    PrivatePulseServer m_pulse;
    std::unique_ptr<QProcess> m_sim;
    std::unique_ptr<QProcess> m_service;
};
