#include "connmanstandinclient.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

ConnmanStandinClient::ConnmanStandinClient(const QDBusConnection &bus) : m_bus(bus) {}

QVariantMap ConnmanStandinClient::wifi(const QString &name, const QString &state)
{
    return {{QStringLiteral("Type"), QStringLiteral("wifi")},
            {QStringLiteral("Name"), name},
            {QStringLiteral("State"), state},
            {QStringLiteral("Strength"), QVariant::fromValue(uchar(70))},
            {QStringLiteral("MaxRate"), QVariant::fromValue(quint32(72000000))},
            {QStringLiteral("Frequency"), QVariant::fromValue(quint16(5180))},
            {QStringLiteral("Hidden"), false},
            {QStringLiteral("Ethernet"),
             QVariantMap{{QStringLiteral("Method"), QStringLiteral("auto")},
                         {QStringLiteral("Interface"), QStringLiteral("wlan0")},
                         {QStringLiteral("Address"), QStringLiteral("02:00:00:AB:CD:EF")},
                         {QStringLiteral("MTU"), QVariant::fromValue(quint16(1500))}}},
            {QStringLiteral("IPv4"),
             QVariantMap{{QStringLiteral("Method"), QStringLiteral("dhcp")},
                         {QStringLiteral("Address"), QStringLiteral("192.168.1.23")},
                         {QStringLiteral("Netmask"), QStringLiteral("255.255.255.0")},
                         {QStringLiteral("Gateway"), QStringLiteral("192.168.1.1")}}},
            {QStringLiteral("IPv6"),
             QVariantMap{{QStringLiteral("Method"), QStringLiteral("auto")},
                         {QStringLiteral("Address"), QStringLiteral("fd00::23")},
                         {QStringLiteral("PrefixLength"), QVariant::fromValue(uchar(64))},
                         {QStringLiteral("Gateway"), QStringLiteral("fd00::1")}}},
            {QStringLiteral("Nameservers"), QStringList{QStringLiteral("192.168.1.1")}}};
}

bool ConnmanStandinClient::addService(const QString &id, const QVariantMap &properties)
{
    return call(QStringLiteral("AddService"), {id, properties});
}

bool ConnmanStandinClient::removeService(const QString &id)
{
    return call(QStringLiteral("RemoveService"), {id});
}

bool ConnmanStandinClient::setProperty(const QString &id, const QString &name, const QVariant &value)
{
    return call(QStringLiteral("SetProperty"), {id, name, QVariant::fromValue(QDBusVariant(value))});
}

bool ConnmanStandinClient::moveService(const QString &id, int index)
{
    return call(QStringLiteral("MoveService"), {id, index});
}

bool ConnmanStandinClient::reset()
{
    return call(QStringLiteral("Reset"), {});
}

bool ConnmanStandinClient::emitSignal(const QString &path, const QString &interface, const QString &member,
                                      const QVariantList &arguments)
{
    return call(QStringLiteral("EmitSignal"),
                {QVariant::fromValue(QDBusObjectPath(path)), interface, member, arguments});
}

QString ConnmanStandinClient::servicePath(const QString &id)
{
    return QStringLiteral("/net/connman/service/") + id;
}

bool ConnmanStandinClient::call(const QString &member, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("net.connman"), QStringLiteral("/com/kestrel/ferry/ConnmanStandin"),
        QStringLiteral("com.kestrel.ferry.ConnmanStandin"), member);
    message.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(message, QDBus::Block, 10000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        m_error = reply.errorMessage();
        return false;
    }
    m_error.clear();
    return true;
}
