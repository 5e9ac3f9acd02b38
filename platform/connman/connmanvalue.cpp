#include "connmanvalue_p.h"

#include "plaindbusvalue.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QSet>


namespace ConnmanValue {

namespace {

// The demarshalling argument behind a message argument, if it has the
// expected signature.
bool argumentOf(const QVariant &value, const char *signature, QDBusArgument *argument)
{
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return false;
    *argument = value.value<QDBusArgument>();
    return argument->currentSignature() == QLatin1String(signature);
}

} // namespace

QList<ObjectEntry> objectList(const QVariant &value)
{
    QList<ObjectEntry> entries;
    QDBusArgument writable;
    if (!argumentOf(value, "a(oa{sv})", &writable))
        return entries;
    const QDBusArgument &argument = writable;
    QSet<QString> seen;
    argument.beginArray();
    while (!argument.atEnd()) {
        if (entries.size() >= MaxObjects) {
            // Read past the rest without keeping it.
            argument.asVariant();
            continue;
        }
        QDBusObjectPath path;
        argument.beginStructure();
        argument >> path;
        const QVariant properties = plainDBusValue(argument.asVariant());
        argument.endStructure();
        if (seen.contains(path.path()))
            continue;
        seen.insert(path.path());
        entries << ObjectEntry(path.path(), properties.toMap());
    }
    argument.endArray();
    return entries;
}

QStringList pathList(const QVariant &value)
{
    QStringList paths;
    QDBusArgument writable;
    if (!argumentOf(value, "ao", &writable))
        return paths;
    const QDBusArgument &argument = writable;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusObjectPath path;
        argument >> path;
        if (paths.size() < MaxObjects)
            paths << path.path();
    }
    argument.endArray();
    return paths;
}

QVariantMap propertyMap(const QVariant &value)
{
    QDBusArgument argument;
    if (!argumentOf(value, "a{sv}", &argument))
        return QVariantMap();
    return plainDBusValue(value).toMap();
}

bool propertyChange(const QDBusMessage &message, QString *name, QVariant *value)
{
    if (message.signature() != QLatin1String("sv"))
        return false;
    const QList<QVariant> arguments = message.arguments();
    *name = arguments.at(0).toString();
    *value = plainDBusValue(arguments.at(1));
    return true;
}

QString toText(const QVariant &value)
{
    if (value.userType() != QMetaType::QString)
        return QString();
    const QString text = value.toString();
    return text.size() > MaxStringLength ? QString() : text;
}

quint64 toUnsigned(const QVariant &value, quint64 max)
{
    switch (value.userType()) {
    case QMetaType::UChar:
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return qMin(value.toULongLong(), max);
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::LongLong: {
        const qint64 signedValue = value.toLongLong();
        return signedValue <= 0 ? 0 : qMin(quint64(signedValue), max);
    }
    default:
        return 0;
    }
}

bool toBool(const QVariant &value)
{
    return value.userType() == QMetaType::Bool && value.toBool();
}

QVariantMap toMap(const QVariant &value)
{
    if (value.userType() != QMetaType::QVariantMap)
        return QVariantMap();
    const QVariantMap all = value.toMap();
    QVariantMap kept;
    for (auto it = all.cbegin(); it != all.cend() && kept.size() < MaxEntries; ++it)
        kept.insert(it.key(), it.value());
    return kept;
}

QStringList toTextList(const QVariant &value)
{
    QStringList kept;
    if (value.userType() != QMetaType::QStringList)
        return kept;
    for (const QString &text : value.toStringList()) {
        if (kept.size() >= MaxEntries)
            break;
        if (!text.isEmpty() && text.size() <= MaxStringLength)
            kept << text;
    }
    return kept;
}

} // namespace ConnmanValue
