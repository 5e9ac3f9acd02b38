#pragma once

#include "calllog.h"
#include "standinoptions.h"

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QSet>

class QDBusServiceWatcher;
class RuntimeProcess;

// systemd's manager object and the object of the one unit it knows,
// "rididirevov.service", as far as ferry uses them, plus a control
// interface for tests:
//
//   path "/com/kestrel/ferry/SystemdStandin",
//   interface "com.kestrel.ferry.SystemdStandin":
//     SetUnitProperties(a{sv} changed)   stores ActiveState, SubState and
//         UnitFileState found in changed and broadcasts exactly changed as
//         the unit's PropertiesChanged (any keys, e.g. SubState alone)
//     EmitPropertiesChanged(s interface, a{sv} changed, as invalidated)
//         broadcasts a PropertiesChanged from the unit's path, nothing stored
//     CallLog() -> s      every systemd call so far, as JSON lines
//     ClearCallLog()
//     KillRuntime(i signal) -> b   signals the command's group unasked
//     RuntimePid() -> i   0 when the command is not running
//
// Unit property changes are broadcast only while some client is subscribed,
// as systemd does.
class SystemdStandin : public QDBusVirtualObject
{
    Q_OBJECT

public:
    SystemdStandin(const StandinOptions &options, const QDBusConnection &bus,
                   QObject *parent = nullptr);
    ~SystemdStandin() override;

    // Registers the objects and takes the name "org.freedesktop.systemd1".
    bool publish(QString *error);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void dispatch(const QDBusMessage &message);
    void handleManager(const QDBusMessage &message);
    void handleUnitProperties(const QDBusMessage &message);
    void handleControl(const QDBusMessage &message);

    bool knowsUnit(const QString &name) const;
    QVariantMap unitProperties() const;
    QVariantMap serviceProperties() const;
    QString newJob();

    void startUnit();
    void stopUnit();
    void setState(const QString &active, const QString &sub);
    void setUnitFileState(const QString &state);
    void broadcast(const QString &interface, const QVariantMap &changed,
                   const QStringList &invalidated = QStringList());

    void replyError(const QDBusMessage &call, const QString &name, const QString &text);

    StandinOptions m_options;
    QDBusConnection m_bus;
    CallLog m_log;
    RuntimeProcess *m_runtime = nullptr;
    QDBusServiceWatcher *m_subscriberWatch = nullptr;
    QSet<QString> m_subscribers;
    QString m_activeState = QStringLiteral("inactive");
    QString m_subState = QStringLiteral("dead");
    QString m_unitFileState;
    bool m_startQueued = false;
    quint32 m_nextJob = 1;
};
