#include "connmanstandin.h"

#include "plaindbusvalue.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QRegularExpression>

namespace {

const QString kService = QStringLiteral("net.connman");
const QString kManagerInterface = QStringLiteral("net.connman.Manager");
const QString kServiceInterface = QStringLiteral("net.connman.Service");
const QString kTechnologyInterface = QStringLiteral("net.connman.Technology");
const QString kServicePrefix = QStringLiteral("/net/connman/service/");
const QString kWifiTechnology = QStringLiteral("/net/connman/technology/wifi");
const QString kEthernetTechnology = QStringLiteral("/net/connman/technology/ethernet");
const QString kControlPath = QStringLiteral("/com/kestrel/ferry/ConnmanStandin");
const QString kControlInterface = QStringLiteral("com.kestrel.ferry.ConnmanStandin");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// One (oa{sv}) of connman's object lists.
struct ObjectEntry
{
    QDBusObjectPath path;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &arg, const ObjectEntry &e)
{
    arg.beginStructure();
    arg << e.path << e.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ObjectEntry &e)
{
    arg.beginStructure();
    arg >> e.path >> e.properties;
    arg.endStructure();
    return arg;
}

QVariantMap plainMap(const QVariant &value)
{
    return plainDBusValue(value).toMap();
}

} // namespace

Q_DECLARE_METATYPE(ObjectEntry)

ConnmanStandin::ConnmanStandin(const QDBusConnection &bus, QObject *parent)
    : QDBusVirtualObject(parent), m_bus(bus)
{
    qDBusRegisterMetaType<ObjectEntry>();
    qDBusRegisterMetaType<QList<ObjectEntry>>();
}

ConnmanStandin::~ConnmanStandin()
{
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(QStringLiteral("/"), QDBusConnection::UnregisterTree);
}

bool ConnmanStandin::publish(QString *error)
{
    if (!m_bus.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath)) {
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

QString ConnmanStandin::introspect(const QString &path) const
{
    if (path == QLatin1String("/")) {
        return QStringLiteral("<interface name=\"net.connman.Manager\">"
                              "<method name=\"GetProperties\"><arg type=\"a{sv}\" direction=\"out\"/></method>"
                              "<method name=\"GetServices\"><arg type=\"a(oa{sv})\" direction=\"out\"/></method>"
                              "<method name=\"GetTechnologies\"><arg type=\"a(oa{sv})\" direction=\"out\"/></method>"
                              "<signal name=\"ServicesChanged\"><arg type=\"a(oa{sv})\"/><arg type=\"ao\"/></signal>"
                              "</interface>");
    }
    return QString();
}

bool ConnmanStandin::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString path = message.path();
    if (path == kControlPath && message.interface() == kControlInterface) {
        handleControl(message);
        return true;
    }
    if (path == QLatin1String("/") && message.interface() == kManagerInterface) {
        handleManager(message);
        return true;
    }
    if (message.member() != QLatin1String("GetProperties"))
        return false;
    if (message.interface() == kServiceInterface && m_services.contains(path)) {
        reply(message, {m_services.value(path)});
        return true;
    }
    if (message.interface() == kTechnologyInterface && (path == kWifiTechnology || path == kEthernetTechnology)) {
        reply(message, {technology(path)});
        return true;
    }
    return false;
}

void ConnmanStandin::handleManager(const QDBusMessage &message)
{
    const QString member = message.member();
    if (member == QLatin1String("GetProperties")) {
        QString state = QStringLiteral("idle");
        for (const QVariantMap &p : qAsConst(m_services)) {
            const QString s = p.value(QStringLiteral("State")).toString();
            if (s == QLatin1String("online"))
                state = s;
            else if (s == QLatin1String("ready") && state != QLatin1String("online"))
                state = s;
        }
        reply(message, {QVariantMap{{QStringLiteral("State"), state}, {QStringLiteral("OfflineMode"), false}}});
    } else if (member == QLatin1String("GetServices")) {
        reply(message, {objectList(m_order, m_services)});
    } else if (member == QLatin1String("GetTechnologies")) {
        const QStringList paths{kEthernetTechnology, kWifiTechnology};
        QHash<QString, QVariantMap> properties;
        for (const QString &p : paths)
            properties.insert(p, technology(p));
        reply(message, {objectList(paths, properties)});
    } else {
        replyError(message, QStringLiteral("no method %1").arg(member));
    }
}

void ConnmanStandin::handleControl(const QDBusMessage &message)
{
    const QString member = message.member();
    const QVariantList args = message.arguments();
    const QString signature = message.signature();
    const QString path = args.isEmpty() ? QString() : servicePath(args.at(0).toString());
    if (member == QLatin1String("Reset") && signature.isEmpty()) {
        const QStringList removed = m_order;
        m_order.clear();
        m_services.clear();
        m_fresh.clear();
        announce(removed);
        reply(message);
        return;
    }
    if (member == QLatin1String("EmitSignal") && signature == QLatin1String("ossav")) {
        QDBusMessage signal = QDBusMessage::createSignal(args.at(0).value<QDBusObjectPath>().path(),
                                                         args.at(1).toString(), args.at(2).toString());
        const QDBusArgument list = args.at(3).value<QDBusArgument>();
        QVariantList arguments;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant v;
            list >> v;
            arguments << v.variant();
        }
        list.endArray();
        signal.setArguments(arguments);
        m_bus.send(signal);
        reply(message);
        return;
    }
    if (path.isEmpty()) {
        replyError(message, QStringLiteral("bad arguments or service id"));
        return;
    }
    if (member == QLatin1String("AddService") && signature == QLatin1String("sa{sv}")) {
        if (!m_services.contains(path))
            m_order << path;
        m_services.insert(path, plainMap(args.at(1)));
        if (!m_fresh.contains(path))
            m_fresh << path;
        announce();
        reply(message, {QVariant::fromValue(QDBusObjectPath(path))});
    } else if (!m_services.contains(path)) {
        replyError(message, QStringLiteral("no service %1").arg(path));
    } else if (member == QLatin1String("RemoveService") && signature == QLatin1String("s")) {
        m_order.removeOne(path);
        m_services.remove(path);
        m_fresh.removeOne(path);
        announce({path});
        reply(message);
    } else if (member == QLatin1String("SetProperty") && signature == QLatin1String("ssv")) {
        const QString name = args.at(1).toString();
        const QVariant value = plainDBusValue(args.at(2));
        m_services[path].insert(name, value);
        QDBusMessage signal = QDBusMessage::createSignal(path, kServiceInterface, QStringLiteral("PropertyChanged"));
        signal << name << QVariant::fromValue(QDBusVariant(value));
        m_bus.send(signal);
        reply(message);
    } else if (member == QLatin1String("MoveService") && signature == QLatin1String("si")) {
        m_order.removeOne(path);
        m_order.insert(qBound(0, args.at(1).toInt(), int(m_order.size())), path);
        announce();
        reply(message);
    } else {
        replyError(message, QStringLiteral("no method %1(%2)").arg(member, signature));
    }
}

void ConnmanStandin::reply(const QDBusMessage &call, const QVariantList &arguments)
{
    QDBusMessage answer = call.createReply();
    answer.setArguments(arguments);
    m_bus.send(answer);
}

void ConnmanStandin::replyError(const QDBusMessage &call, const QString &text)
{
    m_bus.send(call.createErrorReply(kInvalidArgs, text));
}

QString ConnmanStandin::servicePath(const QString &id)
{
    static const QRegularExpression valid(QStringLiteral("^[A-Za-z0-9_]{1,200}$"));
    return valid.match(id).hasMatch() ? kServicePrefix + id : QString();
}

QVariant ConnmanStandin::objectList(const QStringList &paths, const QHash<QString, QVariantMap> &properties) const
{
    QList<ObjectEntry> list;
    for (const QString &path : paths)
        list << ObjectEntry{QDBusObjectPath(path), properties.value(path)};
    return QVariant::fromValue(list);
}

QVariantMap ConnmanStandin::technology(const QString &path) const
{
    const bool wifi = path == kWifiTechnology;
    return {{QStringLiteral("Name"), wifi ? QStringLiteral("WiFi") : QStringLiteral("Wired")},
            {QStringLiteral("Type"), wifi ? QStringLiteral("wifi") : QStringLiteral("ethernet")},
            {QStringLiteral("Powered"), true},
            {QStringLiteral("Connected"), false},
            {QStringLiteral("Tethering"), false}};
}

void ConnmanStandin::announce(const QStringList &removed)
{
    QHash<QString, QVariantMap> properties;
    for (const QString &path : qAsConst(m_fresh))
        properties.insert(path, m_services.value(path));
    m_fresh.clear();
    QList<QDBusObjectPath> gone;
    for (const QString &path : removed)
        gone << QDBusObjectPath(path);
    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/"), kManagerInterface, QStringLiteral("ServicesChanged"));
    signal << objectList(m_order, properties) << QVariant::fromValue(gone);
    m_bus.send(signal);
}
