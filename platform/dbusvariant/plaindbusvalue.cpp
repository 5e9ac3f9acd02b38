#include "plaindbusvalue.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace {

QVariant plainArgument(const QDBusArgument &argument)
{
    switch (argument.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType:
        return plainDBusValue(argument.asVariant());
    case QDBusArgument::ArrayType: {
        const QString signature = argument.currentSignature();
        if (signature == QLatin1String("ay")) {
            QByteArray bytes;
            argument >> bytes;
            return bytes;
        }
        if (signature == QLatin1String("as")) {
            QStringList strings;
            argument >> strings;
            return strings;
        }
        QVariantList list;
        argument.beginArray();
        while (!argument.atEnd())
            list << plainDBusValue(argument.asVariant());
        argument.endArray();
        return list;
    }
    case QDBusArgument::StructureType: {
        QVariantList fields;
        argument.beginStructure();
        while (!argument.atEnd())
            fields << plainDBusValue(argument.asVariant());
        argument.endStructure();
        return fields;
    }
    case QDBusArgument::MapType: {
        QVariantMap map;
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            const QVariant key = plainDBusValue(argument.asVariant());
            const QVariant value = plainDBusValue(argument.asVariant());
            argument.endMapEntry();
            map.insert(key.toString(), value);
        }
        argument.endMap();
        return map;
    }
    default:
        return QVariant();
    }
}

} // namespace

QVariant plainDBusValue(const QVariant &value)
{
    const int type = value.userType();
    if (type == qMetaTypeId<QDBusVariant>())
        return plainDBusValue(value.value<QDBusVariant>().variant());
    if (type == qMetaTypeId<QDBusArgument>())
        return plainArgument(value.value<QDBusArgument>());
    if (type == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (type == qMetaTypeId<QDBusSignature>())
        return value.value<QDBusSignature>().signature();
    if (type == QMetaType::QVariantMap) {
        QVariantMap map = value.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            it.value() = plainDBusValue(it.value());
        return map;
    }
    if (type == QMetaType::QVariantList) {
        QVariantList list = value.toList();
        for (QVariant &element : list)
            element = plainDBusValue(element);
        return list;
    }
    return value;
}
