#pragma once

#include <QDBusMessage>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// Reading what connman sends, bounded: the bus is trusted to speak D-Bus,
// not to send sensible values, so every value is checked for its type and
// every list for its length before anything keeps it.
namespace ConnmanValue {

inline const QString &serviceName()
{
    static const QString name = QStringLiteral("net.connman");
    return name;
}
inline const QString &managerInterface()
{
    static const QString name = QStringLiteral("net.connman.Manager");
    return name;
}
inline const QString &serviceInterface()
{
    static const QString name = QStringLiteral("net.connman.Service");
    return name;
}
inline const QString &technologyInterface()
{
    static const QString name = QStringLiteral("net.connman.Technology");
    return name;
}

// More services than any phone sees; a longer list is cut here.
constexpr int MaxObjects = 256;
// Entries kept of a dictionary property (Ethernet, IPv4, ...) and of a
// string list (Nameservers).
constexpr int MaxEntries = 32;
// A string longer than this is taken as missing.
constexpr int MaxStringLength = 1024;

// One object of a GetServices/GetTechnologies reply or of ServicesChanged:
// its path and its properties (plain Qt values, see plainDBusValue).
using ObjectEntry = QPair<QString, QVariantMap>;

// The entries of an a(oa{sv}) argument, at most MaxObjects, duplicates of a
// path dropped (the first wins). Anything of another type gives nothing.
QList<ObjectEntry> objectList(const QVariant &argument);

// The paths of an "ao" argument, at most MaxObjects.
QStringList pathList(const QVariant &argument);

// The plain properties of an a{sv} argument (a GetProperties reply).
QVariantMap propertyMap(const QVariant &argument);

// A PropertyChanged(s, v) signal's name and plain value; false when the
// message does not have that form.
bool propertyChange(const QDBusMessage &message, QString *name, QVariant *value);

// Typed reads with the defaults of a missing or mistyped property.
QString toText(const QVariant &value);
// Integers of any D-Bus width, clamped into [0, max]; anything else is 0.
quint64 toUnsigned(const QVariant &value, quint64 max);
bool toBool(const QVariant &value);
QVariantMap toMap(const QVariant &value);
QStringList toTextList(const QVariant &value);

} // namespace ConnmanValue
