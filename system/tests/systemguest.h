#pragma once

#include "runtimesimclient.h"

#include <QStringList>

#include <functional>

// The full-system guest (tools/vm/run --system) for the system test and the
// start-up benchmark: the installed programs under systemd, the logged-in
// user, and the simulator that rididirevov.service runs.
class SystemGuest
{
public:
    struct Run
    {
        int status = -1;
        QByteArray out;
        QByteArray err;
    };
    // One service a program registers with the runtime once it is up. A
    // program that registers a new one adds a line to the table.
    struct Registration
    {
        const char *program;
        const char *device;
        const char *name;
    };
    static const QList<Registration> &registrations();
    static const QStringList &userUnits();

    SystemGuest();
    QString problem() const { return m_problem; }   // empty when usable
    QString user() const { return m_user; }
    uint uid() const { return m_uid; }
    QString home() const { return m_home; }
    const RuntimeSimClient &sim() const { return m_sim; }

    static Run run(const QStringList &command, int timeoutMs = 60000);
    // As the logged-in user, with the session's bus and runtime folder.
    Run asUser(const QStringList &command) const;
    // ActiveState or MainPID of a system unit, or of one of the user's.
    QString unitState(const QString &unit, bool user = false) const { return show(unit, "ActiveState", user); }
    qint64 mainPid(const QString &unit, bool user = false) const { return show(unit, "MainPID", user).toLongLong(); }
    QStringList missingRegistrations() const;
    // systemctl status and the recent journal of every unit involved.
    QByteArray journals() const;

    static bool waitFor(const std::function<bool()> &condition, int timeoutMs);

private:
    QStringList systemctl(bool user) const;
    QString show(const QString &unit, const char *property, bool user) const;

    QString m_problem;
    QString m_user;
    QString m_home;
    uint m_uid = 0;
    RuntimeSimClient m_sim;
};
