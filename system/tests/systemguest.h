#pragma once

#include "runtimesimclient.h"

#include <QByteArray>
#include <QStringList>

#include <functional>

// The full-system guest (tools/vm/run --system) as the system test and the
// start-up benchmark see it: the installed programs under systemd, the
// logged-in user, and the simulated runtime that rididirevov.service runs.
class SystemGuest
{
public:
    struct Run
    {
        int status = -1;
        QByteArray out;
        QByteArray err;
    };

    // One service that a program registers with the runtime once it is up.
    // Every program's services are listed here, so that the checks grow
    // with the table.
    struct Registration
    {
        const char *program;
        const char *device;
        const char *name;
    };
    static const QList<Registration> &registrations();
    // The programs that run as units of the user's session.
    static const QStringList &userUnits();

    SystemGuest();
    // Empty when the guest is usable, else why not.
    QString problem() const { return m_problem; }
    QString user() const { return m_user; }
    uint uid() const { return m_uid; }
    QString home() const;
    const RuntimeSimClient &sim() const { return m_sim; }

    static Run run(const QStringList &command, int timeoutMs = 60000);
    // As the logged-in user, with the session's bus and runtime folder.
    Run asUser(const QStringList &command, int timeoutMs = 60000) const;
    // systemd's ActiveState of a system unit, or (user) of the user's unit.
    QString unitState(const QString &unit, bool user = false) const;
    qint64 mainPid(const QString &unit, bool user = false) const;
    // The registrations the runtime's service managers do not list.
    QStringList missingRegistrations() const;
    // The status and recent journal of every unit involved.
    QByteArray journals() const;

    static bool waitFor(const std::function<bool()> &condition, int timeoutMs);

private:
    QStringList systemctl(bool user) const;

    QString m_problem;
    QString m_user;
    uint m_uid = 0;
    RuntimeSimClient m_sim;
};
