#include "systemguest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QThread>

#include <pwd.h>

const QList<SystemGuest::Registration> &SystemGuest::registrations()
{
    static const QList<Registration> table{
        {"ferryd", "/dev/vororoveredi", "novum.launcher"},
        {"ferryd-bridge", "/dev/vororoveredi", "novum.notification"},
        {"ferryd-bridge-user", "/dev/vororoveredi", "novum.mce"},
        {"ferryd-bridge-user", "/dev/vororoveredi", "novum.NativeCall"},
        {"ferryd-bridge-user", "/dev/hwvororoveredi", "android.hardware.gnss@2.1::IGnss/default_novum"},
        {"ferryd-bridge-user", "/dev/hwvororoveredi", "android.hardware.sensors@1.0::ISensors/default_novum"},
        {"ferryd-bridge-user", "/dev/hwvororoveredi", "android.hardware.vibrator@1.0::IVibrator/default_novum"},
        {"novumaudioservice", "/dev/vndvororoveredi", "NovumAudioService"},
    };
    return table;
}

const QStringList &SystemGuest::userUnits()
{
    static const QStringList units{"ferryd-bridge.service", "ferryd-bridge-user.service",
                                   "novumaudioservice.service"};
    return units;
}

SystemGuest::SystemGuest()
    : m_user(qEnvironmentVariable("FERRY_VM_USER"))
    , m_sim(QStringLiteral("/run/ferry-runtime-sim/control"),
            QStringLiteral("/var/log/ferry-runtime-sim/transactions.log"))
{
    if (qEnvironmentVariable("FERRY_VM_SYSTEM") != QLatin1String("1") || m_user.isEmpty()) {
        m_problem = QStringLiteral("not in the full-system guest (run it with tools/vm/run --system)");
        return;
    }
    const struct passwd *pw = getpwnam(m_user.toLocal8Bit().constData());
    if (!pw) {
        m_problem = QStringLiteral("no user %1").arg(m_user);
        return;
    }
    m_uid = pw->pw_uid;
}

QString SystemGuest::home() const
{
    const struct passwd *pw = getpwnam(m_user.toLocal8Bit().constData());
    return pw ? QString::fromLocal8Bit(pw->pw_dir) : QString();
}

SystemGuest::Run SystemGuest::run(const QStringList &command, int timeoutMs)
{
    Run result;
    QProcess p;
    p.start(command.first(), command.mid(1));
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        result.err = "timed out: " + command.join(' ').toLocal8Bit();
        return result;
    }
    result.out = p.readAllStandardOutput();
    result.err = p.readAllStandardError();
    if (p.exitStatus() == QProcess::NormalExit)
        result.status = p.exitCode();
    return result;
}

SystemGuest::Run SystemGuest::asUser(const QStringList &command, int timeoutMs) const
{
    const QString runtimeDir = QStringLiteral("/run/user/%1").arg(m_uid);
    return run(QStringList{"runuser", "-u", m_user, "--", "env", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtimeDir + "/bus",
                           "XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + home()} + command,
               timeoutMs);
}

QStringList SystemGuest::systemctl(bool user) const
{
    if (!user)
        return {"systemctl"};
    return {"systemctl", "--user", "--machine=" + m_user + "@.host"};
}

QString SystemGuest::unitState(const QString &unit, bool user) const
{
    return QString::fromUtf8(run(systemctl(user) + QStringList{"show", "-P", "ActiveState", unit}).out.trimmed());
}

qint64 SystemGuest::mainPid(const QString &unit, bool user) const
{
    return run(systemctl(user) + QStringList{"show", "-P", "MainPID", unit}).out.trimmed().toLongLong();
}

QStringList SystemGuest::missingRegistrations() const
{
    QMap<QString, QSet<QString>> listed;
    QStringList missing;
    for (const Registration &r : registrations()) {
        const QString device = QString::fromLatin1(r.device);
        if (!listed.contains(device)) {
            QSet<QString> names;
            const QJsonObject answer = m_sim.command({{"cmd", "list"}, {"device", device}});
            for (const QJsonValue &name : answer.value(QStringLiteral("names")).toArray())
                names << name.toString();
            listed.insert(device, names);
        }
        if (!listed.value(device).contains(QString::fromLatin1(r.name)))
            missing << QStringLiteral("%1 (%2)").arg(QString::fromLatin1(r.name), QString::fromLatin1(r.program));
    }
    return missing;
}

QByteArray SystemGuest::journals() const
{
    QByteArray text;
    const auto add = [&text](const QStringList &command) {
        const Run r = run(command, 20000);
        text += "$ " + command.join(' ').toLocal8Bit() + '\n' + r.out + r.err;
    };
    for (const char *unit : {"ferryd.service", "rididirevov.service"}) {
        add({"systemctl", "status", "--no-pager", "--lines=0", unit});
        add({"journalctl", "--no-pager", "-b", "-n", "40", "-u", unit});
    }
    for (const QString &unit : userUnits() + QStringList{"pulseaudio.service"}) {
        add(systemctl(true) + QStringList{"status", "--no-pager", "--lines=0", unit});
        add({"journalctl", "--no-pager", "-b", "-n", "40", "_SYSTEMD_USER_UNIT=" + unit});
    }
    return text;
}

bool SystemGuest::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (condition())
            return true;
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(50);
    }
}
