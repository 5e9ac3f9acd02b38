#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

// The host's side of ferry-runtime-sim for the guest tests and the demo:
// the command line that makes the systemd stand-in's unit run the
// simulator with a transaction log and a command socket in dir, the
// commands on that socket, and what the simulated services logged.
class RuntimeSimClient
{
public:
    explicit RuntimeSimClient(const QString &dir);
    // A simulator that something else started, with these paths.
    RuntimeSimClient(const QString &socketPath, const QString &logPath);

    QString logPath() const { return m_logPath; }
    QString socketPath() const { return m_socketPath; }
    // Shell command for the runtime unit: runs program (the simulator).
    QString unitCommand(const QString &program) const;

    // One JSON command, one JSON answer; empty when the simulator cannot be
    // reached or answers something that is not a JSON object.
    QJsonObject command(const QJsonObject &command) const;
    // Sets the install result both services report to install observers
    // (the runtime's own service on SDK 28 and later, the package manager on
    // 27) through their test-only code. False if either refused.
    bool setInstallResult(int result, const QString &message) const;
    // How both services answer later installs: 0 taken, 1 refused (the
    // runtime's service answers 0, the package manager an exception), 2 the
    // transaction fails. False if either refused the command.
    bool setInstallHandOff(int mode) const;

    // Transactions the simulated service received, in order (lifecycle
    // lines are left out).
    QList<QJsonObject> transactions(const QString &service) const;
    QList<QJsonObject> transactions(const QString &service, int code) const;

private:
    QString m_logPath;
    QString m_socketPath;
};
