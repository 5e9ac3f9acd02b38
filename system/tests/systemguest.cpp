#include "systemguest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
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
        {"ferryd-bridge-user", "/dev/vororoveredi", "wificond"},
        {"ferryd-bridge-user", "/dev/hwvororoveredi", "android.hardware.wifi@1.0::IWifi/default_novum"},
        {"ferryd-bridge-user", "/dev/hwvororoveredi", "android.hardware.wifi.supplicant@1.0::ISupplicant/default_novum"},
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
    , m_sim(QStringLiteral("/run/ferry-runtime-sim/control"), QStringLiteral("/var/log/ferry-runtime-sim/transactions.log"))
{
    const struct passwd *pw = getpwnam(m_user.toLocal8Bit().constData());
    if (qEnvironmentVariable("FERRY_VM_SYSTEM") != QLatin1String("1") || !pw) {
        m_problem = QStringLiteral("not in the full-system guest (run it with tools/vm/run --system)");
        return;
    }
    m_uid = pw->pw_uid;
    m_home = QString::fromLocal8Bit(pw->pw_dir);
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
    result.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return result;
}

SystemGuest::Run SystemGuest::asUser(const QStringList &command) const
{
    const QString runtimeDir = QStringLiteral("/run/user/%1").arg(m_uid);
    return run(QStringList{"runuser", "-u", m_user, "--", "env", "DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtimeDir + "/bus",
                           "XDG_RUNTIME_DIR=" + runtimeDir, "HOME=" + m_home} + command);
}

QStringList SystemGuest::systemctl(bool user) const
{
    return user ? QStringList{"systemctl", "--user", "--machine=" + m_user + "@.host"} : QStringList{"systemctl"};
}

QString SystemGuest::show(const QString &unit, const char *property, bool user) const
{
    return QString::fromUtf8(run(systemctl(user) + QStringList{"show", "-P", property, unit}).out.trimmed());
}

QStringList SystemGuest::missingRegistrations() const
{
    QMap<QString, QJsonArray> listed;   // by device
    QStringList missing;
    for (const Registration &r : registrations()) {
        if (!listed.contains(r.device))
            listed.insert(r.device, m_sim.command({{"cmd", "list"}, {"device", r.device}}).value("names").toArray());
        if (!listed.value(r.device).contains(QString::fromLatin1(r.name)))
            missing << QStringLiteral("%1 (%2)").arg(r.name, r.program);
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
    for (const QString &unit : {"ferryd.service", "rididirevov.service"}) {
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
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(50);
    }
    return true;
}
