#include "systemdstandin.h"

#include "runtimeprocess.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <signal.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.systemd1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kUnitName = QStringLiteral("rididirevov.service");
const QString kUnitPath = QStringLiteral("/org/freedesktop/systemd1/unit/rididirevov_2eservice");
const QString kUnitInterface = QStringLiteral("org.freedesktop.systemd1.Unit");
const QString kServiceInterface = QStringLiteral("org.freedesktop.systemd1.Service");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectableInterface = QStringLiteral("org.freedesktop.DBus.Introspectable");
const QString kControlPath = QStringLiteral("/com/kestrel/ferry/SystemdStandin");
const QString kControlInterface = QStringLiteral("com.kestrel.ferry.SystemdStandin");
const QString kUnitFilePath = QStringLiteral("/usr/lib/systemd/system/rididirevov.service");
const QString kWantsLink = QStringLiteral("/etc/systemd/system/multi-user.target.wants/rididirevov.service");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// One entry of the change list that EnableUnitFiles and DisableUnitFiles
// return: (type, file name, destination).
struct UnitFileChange
{
    QString type;
    QString file;
    QString destination;
};

QDBusArgument &operator<<(QDBusArgument &arg, const UnitFileChange &c)
{
    arg.beginStructure();
    arg << c.type << c.file << c.destination;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, UnitFileChange &c)
{
    arg.beginStructure();
    arg >> c.type >> c.file >> c.destination;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(UnitFileChange)

SystemdStandin::SystemdStandin(const StandinOptions &options, const QDBusConnection &bus,
                               QObject *parent)
    : QDBusVirtualObject(parent)
    , m_options(options)
    , m_bus(bus)
    , m_log(options.callLog)
    , m_unitFileState(options.unitFileState)
{
    qDBusRegisterMetaType<UnitFileChange>();
    qDBusRegisterMetaType<QList<UnitFileChange>>();

    if (!m_options.runtimeCommand.isEmpty()) {
        m_runtime = new RuntimeProcess(m_options.runtimeCommand, m_options.readyFile,
                                       m_options.stopTimeoutMs, this);
        connect(m_runtime, &RuntimeProcess::ready, this, [this] {
            if (m_activeState == QLatin1String("activating"))
                setState(QStringLiteral("active"), QStringLiteral("running"));
        });
        connect(m_runtime, &RuntimeProcess::ended, this, [this](bool asked) {
            if (!asked) {
                setState(QStringLiteral("failed"), QStringLiteral("failed"));
                return;
            }
            setState(QStringLiteral("inactive"), QStringLiteral("dead"));
            if (m_startQueued) {
                m_startQueued = false;
                startUnit();
            }
        });
    }

    m_subscriberWatch = new QDBusServiceWatcher(this);
    m_subscriberWatch->setConnection(m_bus);
    m_subscriberWatch->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_subscriberWatch, &QDBusServiceWatcher::serviceUnregistered, this,
            [this](const QString &name) {
                m_subscribers.remove(name);
                m_subscriberWatch->removeWatchedService(name);
            });
}

SystemdStandin::~SystemdStandin() = default;

bool SystemdStandin::publish(QString *error)
{
    if (!m_bus.registerVirtualObject(kManagerPath, this, QDBusConnection::SubPath)
        || !m_bus.registerVirtualObject(kControlPath, this, QDBusConnection::SingleNode)) {
        *error = QStringLiteral("cannot register objects: %1").arg(m_bus.lastError().message());
        return false;
    }
    if (!m_bus.registerService(kService)) {
        const QString why = m_bus.lastError().message();
        *error = QStringLiteral("cannot own %1: %2")
                     .arg(kService, why.isEmpty() ? QStringLiteral("another connection has it") : why);
        return false;
    }
    return true;
}

QString SystemdStandin::introspect(const QString &path) const
{
    if (path == kManagerPath) {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.systemd1.Manager\">"
            "<method name=\"Subscribe\"/><method name=\"Unsubscribe\"/>"
            "<method name=\"LoadUnit\"><arg name=\"name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"unit\" type=\"o\" direction=\"out\"/></method>"
            "<method name=\"GetUnit\"><arg name=\"name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"unit\" type=\"o\" direction=\"out\"/></method>"
            "<method name=\"StartUnit\"><arg name=\"name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"mode\" type=\"s\" direction=\"in\"/><arg name=\"job\" type=\"o\" direction=\"out\"/></method>"
            "<method name=\"StopUnit\"><arg name=\"name\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"mode\" type=\"s\" direction=\"in\"/><arg name=\"job\" type=\"o\" direction=\"out\"/></method>"
            "<method name=\"EnableUnitFiles\"><arg name=\"files\" type=\"as\" direction=\"in\"/>"
            "<arg name=\"runtime\" type=\"b\" direction=\"in\"/><arg name=\"force\" type=\"b\" direction=\"in\"/>"
            "<arg name=\"carries_install_info\" type=\"b\" direction=\"out\"/>"
            "<arg name=\"changes\" type=\"a(sss)\" direction=\"out\"/></method>"
            "<method name=\"DisableUnitFiles\"><arg name=\"files\" type=\"as\" direction=\"in\"/>"
            "<arg name=\"runtime\" type=\"b\" direction=\"in\"/>"
            "<arg name=\"changes\" type=\"a(sss)\" direction=\"out\"/></method>"
            "</interface>");
    }
    if (path == kUnitPath && !m_options.refuseUnit) {
        return QStringLiteral(
            "<interface name=\"org.freedesktop.DBus.Properties\">"
            "<method name=\"Get\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"name\" type=\"s\" direction=\"in\"/><arg name=\"value\" type=\"v\" direction=\"out\"/></method>"
            "<method name=\"GetAll\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"properties\" type=\"a{sv}\" direction=\"out\"/></method>"
            "<signal name=\"PropertiesChanged\"><arg name=\"interface\" type=\"s\"/>"
            "<arg name=\"changed\" type=\"a{sv}\"/><arg name=\"invalidated\" type=\"as\"/></signal>"
            "</interface>");
    }
    return QString();
}

bool SystemdStandin::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    if (message.interface() == kIntrospectableInterface)
        return false; // answered by Qt from introspect()
    // Qt may call this from its bus thread; the state lives in ours.
    QMetaObject::invokeMethod(this, [this, message] { dispatch(message); }, Qt::QueuedConnection);
    return true;
}

void SystemdStandin::dispatch(const QDBusMessage &message)
{
    if (message.path() == kControlPath) {
        handleControl(message);
        return;
    }
    m_log.record(message);
    if (message.path() == kManagerPath
        && (message.interface().isEmpty() || message.interface() == kManagerInterface)) {
        handleManager(message);
    } else if (message.path() == kUnitPath && !m_options.refuseUnit
               && message.interface() == kPropertiesInterface) {
        handleUnitProperties(message);
    } else if (message.path() == kUnitPath && !m_options.refuseUnit) {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                   QStringLiteral("Unknown method %1").arg(message.member()));
    } else {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                   QStringLiteral("Unknown object '%1'.").arg(message.path()));
    }
}

void SystemdStandin::handleManager(const QDBusMessage &message)
{
    const QString member = message.member();
    const QString signature = message.signature();
    const QList<QVariant> args = message.arguments();

    if (member == QLatin1String("Subscribe") && signature.isEmpty()) {
        const QString sender = message.service();
        if (!m_subscribers.contains(sender)) {
            m_subscribers.insert(sender);
            m_subscriberWatch->addWatchedService(sender);
        }
        m_bus.send(message.createReply());
    } else if (member == QLatin1String("Unsubscribe") && signature.isEmpty()) {
        m_subscribers.remove(message.service());
        m_bus.send(message.createReply());
    } else if ((member == QLatin1String("LoadUnit") || member == QLatin1String("GetUnit"))
               && signature == QLatin1String("s")) {
        if (!knowsUnit(args.at(0).toString()))
            return replyError(message, QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                              QStringLiteral("Unit %1 not found.").arg(args.at(0).toString()));
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(kUnitPath))));
    } else if ((member == QLatin1String("StartUnit") || member == QLatin1String("StopUnit"))
               && signature == QLatin1String("ss")) {
        if (!knowsUnit(args.at(0).toString()))
            return replyError(message, QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                              QStringLiteral("Unit %1 not found.").arg(args.at(0).toString()));
        const QString mode = args.at(1).toString();
        static const QStringList modes{QStringLiteral("replace"), QStringLiteral("fail"),
                                       QStringLiteral("isolate"), QStringLiteral("ignore-dependencies"),
                                       QStringLiteral("ignore-requirements")};
        if (!modes.contains(mode))
            return replyError(message, kInvalidArgs, QStringLiteral("Job mode %1 invalid.").arg(mode));
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(newJob()))));
        if (member == QLatin1String("StartUnit"))
            startUnit();
        else
            stopUnit();
    } else if (member == QLatin1String("EnableUnitFiles") && signature == QLatin1String("asbb")) {
        const QStringList files = args.at(0).toStringList();
        for (const QString &f : files) {
            if (!knowsUnit(f))
                return replyError(message, QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                                  QStringLiteral("Unit file %1 does not exist.").arg(f));
        }
        QList<UnitFileChange> changes;
        if (!files.isEmpty()) {
            const bool runtime = args.at(1).toBool();
            changes.append({QStringLiteral("symlink"),
                            runtime ? QStringLiteral("/run/systemd/system/multi-user.target.wants/rididirevov.service")
                                    : kWantsLink,
                            kUnitFilePath});
            setUnitFileState(runtime ? QStringLiteral("enabled-runtime") : QStringLiteral("enabled"));
        }
        m_bus.send(message.createReply({true, QVariant::fromValue(changes)}));
    } else if (member == QLatin1String("DisableUnitFiles") && signature == QLatin1String("asb")) {
        const QStringList files = args.at(0).toStringList();
        for (const QString &f : files) {
            if (!knowsUnit(f))
                return replyError(message, QStringLiteral("org.freedesktop.systemd1.NoSuchUnit"),
                                  QStringLiteral("Unit file %1 does not exist.").arg(f));
        }
        QList<UnitFileChange> changes;
        if (!files.isEmpty()) {
            changes.append({QStringLiteral("unlink"), kWantsLink, QString()});
            setUnitFileState(QStringLiteral("disabled"));
        }
        m_bus.send(message.createReply(QVariant::fromValue(changes)));
    } else {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                   QStringLiteral("Unknown method %1 or wrong signature \"%2\"").arg(member, signature));
    }
}

void SystemdStandin::handleUnitProperties(const QDBusMessage &message)
{
    const QString member = message.member();
    const QString signature = message.signature();
    const QList<QVariant> args = message.arguments();
    auto propertiesOf = [this](const QString &interface, bool *known) {
        *known = true;
        if (interface == kUnitInterface)
            return unitProperties();
        if (interface == kServiceInterface)
            return serviceProperties();
        *known = false;
        return QVariantMap();
    };

    if (m_options.refuseProperties) {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                   QStringLiteral("Access denied."));
    } else if (member == QLatin1String("GetAll") && signature == QLatin1String("s")) {
        bool known = false;
        const QVariantMap props = propertiesOf(args.at(0).toString(), &known);
        if (!known)
            return replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                              QStringLiteral("Unknown interface %1.").arg(args.at(0).toString()));
        m_bus.send(message.createReply(props));
    } else if (member == QLatin1String("Get") && signature == QLatin1String("ss")) {
        bool known = false;
        const QVariantMap props = propertiesOf(args.at(0).toString(), &known);
        const auto it = props.constFind(args.at(1).toString());
        if (!known || it == props.constEnd())
            return replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                              QStringLiteral("Unknown property %1.").arg(args.at(1).toString()));
        m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(*it))));
    } else if (member == QLatin1String("Set")) {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                   QStringLiteral("Property is read-only."));
    } else {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                   QStringLiteral("Unknown method %1 or wrong signature \"%2\"").arg(member, signature));
    }
}

void SystemdStandin::handleControl(const QDBusMessage &message)
{
    const QString member = message.member();
    const QString signature = message.signature();
    const QList<QVariant> args = message.arguments();

    if (member == QLatin1String("SetUnitProperties") && signature == QLatin1String("a{sv}")) {
        const QVariantMap changed = qdbus_cast<QVariantMap>(args.at(0));
        m_bus.send(message.createReply());
        if (changed.contains(QStringLiteral("ActiveState")))
            m_activeState = changed.value(QStringLiteral("ActiveState")).toString();
        if (changed.contains(QStringLiteral("SubState")))
            m_subState = changed.value(QStringLiteral("SubState")).toString();
        if (changed.contains(QStringLiteral("UnitFileState")))
            m_unitFileState = changed.value(QStringLiteral("UnitFileState")).toString();
        broadcast(kUnitInterface, changed);
    } else if (member == QLatin1String("EmitPropertiesChanged") && signature == QLatin1String("sa{sv}as")) {
        m_bus.send(message.createReply());
        broadcast(args.at(0).toString(), qdbus_cast<QVariantMap>(args.at(1)), args.at(2).toStringList());
    } else if (member == QLatin1String("CallLog") && signature.isEmpty()) {
        m_bus.send(message.createReply(m_log.text()));
    } else if (member == QLatin1String("ClearCallLog") && signature.isEmpty()) {
        m_log.clear();
        m_bus.send(message.createReply());
    } else if (member == QLatin1String("KillRuntime") && signature == QLatin1String("i")) {
        m_bus.send(message.createReply(m_runtime && m_runtime->kill(args.at(0).toInt())));
    } else if (member == QLatin1String("RuntimePid") && signature.isEmpty()) {
        m_bus.send(message.createReply(int(m_runtime ? m_runtime->pid() : 0)));
    } else {
        replyError(message, QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                   QStringLiteral("Unknown method %1 or wrong signature \"%2\"").arg(member, signature));
    }
}

bool SystemdStandin::knowsUnit(const QString &name) const
{
    return !m_options.refuseUnit && name == kUnitName;
}

QVariantMap SystemdStandin::unitProperties() const
{
    return {{QStringLiteral("Id"), kUnitName},
            {QStringLiteral("Names"), QStringList{kUnitName}},
            {QStringLiteral("Description"), QStringLiteral("Android runtime")},
            {QStringLiteral("LoadState"), QStringLiteral("loaded")},
            {QStringLiteral("ActiveState"), m_activeState},
            {QStringLiteral("SubState"), m_subState},
            {QStringLiteral("UnitFileState"), m_unitFileState},
            {QStringLiteral("FragmentPath"), kUnitFilePath}};
}

QVariantMap SystemdStandin::serviceProperties() const
{
    return {{QStringLiteral("Type"), QStringLiteral("simple")},
            {QStringLiteral("MainPID"), quint32(m_runtime ? m_runtime->pid() : 0)}};
}

QString SystemdStandin::newJob()
{
    return QStringLiteral("/org/freedesktop/systemd1/job/%1").arg(m_nextJob++);
}

void SystemdStandin::startUnit()
{
    if (m_activeState == QLatin1String("active") || m_activeState == QLatin1String("activating"))
        return;
    if (m_activeState == QLatin1String("deactivating")) {
        m_startQueued = true; // systemd runs the start job once the stop is done
        return;
    }
    setState(QStringLiteral("activating"), QStringLiteral("start"));
    if (m_runtime) {
        m_runtime->start();
        return;
    }
    // No command: the unit comes up on the next turn of the loop.
    QTimer::singleShot(0, this, [this] {
        if (m_activeState == QLatin1String("activating"))
            setState(QStringLiteral("active"), QStringLiteral("running"));
    });
}

void SystemdStandin::stopUnit()
{
    m_startQueued = false;
    if (m_activeState == QLatin1String("inactive") || m_activeState == QLatin1String("deactivating")
        || m_activeState == QLatin1String("failed"))
        return;
    setState(QStringLiteral("deactivating"), QStringLiteral("stop-sigterm"));
    if (m_runtime && m_runtime->isRunning()) {
        m_runtime->stop();
        return;
    }
    QTimer::singleShot(0, this, [this] {
        if (m_activeState == QLatin1String("deactivating"))
            setState(QStringLiteral("inactive"), QStringLiteral("dead"));
    });
}

void SystemdStandin::setState(const QString &active, const QString &sub)
{
    if (active == m_activeState && sub == m_subState)
        return;
    m_activeState = active;
    m_subState = sub;
    // systemd announces the service-specific interface first, then the
    // generic unit one.
    broadcast(kServiceInterface, serviceProperties());
    broadcast(kUnitInterface, {{QStringLiteral("ActiveState"), active}, {QStringLiteral("SubState"), sub}});
}

void SystemdStandin::setUnitFileState(const QString &state)
{
    if (state == m_unitFileState)
        return;
    m_unitFileState = state;
    broadcast(kUnitInterface, {{QStringLiteral("UnitFileState"), state}});
}

void SystemdStandin::broadcast(const QString &interface, const QVariantMap &changed,
                               const QStringList &invalidated)
{
    if (m_subscribers.isEmpty() || m_options.refuseUnit)
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kUnitPath, kPropertiesInterface, QStringLiteral("PropertiesChanged"));
    signal << interface << changed << invalidated;
    m_bus.send(signal);
}

void SystemdStandin::replyError(const QDBusMessage &call, const QString &name, const QString &text)
{
    m_bus.send(call.createErrorReply(name, text));
}
