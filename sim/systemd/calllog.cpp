#include "calllog.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QJsonArray>
#include <QJsonDocument>

namespace {

QJsonValue fromArgument(const QDBusArgument &arg)
{
    switch (arg.currentType()) {
    case QDBusArgument::BasicType:
        return CallLog::toJson(arg.asVariant());
    case QDBusArgument::VariantType: {
        QDBusVariant v;
        arg >> v;
        return CallLog::toJson(v.variant());
    }
    case QDBusArgument::ArrayType: {
        QJsonArray out;
        arg.beginArray();
        while (!arg.atEnd())
            out.append(fromArgument(arg));
        arg.endArray();
        return out;
    }
    case QDBusArgument::StructureType: {
        QJsonArray out;
        arg.beginStructure();
        while (!arg.atEnd())
            out.append(fromArgument(arg));
        arg.endStructure();
        return out;
    }
    case QDBusArgument::MapType: {
        QJsonObject out;
        arg.beginMap();
        while (!arg.atEnd()) {
            arg.beginMapEntry();
            const QJsonValue key = fromArgument(arg);
            const QJsonValue value = fromArgument(arg);
            arg.endMapEntry();
            out.insert(key.isString() ? key.toString() : QString::number(key.toDouble()), value);
        }
        arg.endMap();
        return out;
    }
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType:
        break;
    }
    return QJsonValue();
}

} // namespace

CallLog::CallLog(const QString &path)
{
    if (!path.isEmpty()) {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append))
            qWarning("Cannot open call log %s: %s", qPrintable(path), qPrintable(m_file.errorString()));
    }
}

QJsonValue CallLog::toJson(const QVariant &value)
{
    const int type = value.userType();
    if (type == qMetaTypeId<QDBusArgument>())
        return fromArgument(value.value<QDBusArgument>());
    if (type == qMetaTypeId<QDBusVariant>())
        return toJson(value.value<QDBusVariant>().variant());
    if (type == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    if (type == qMetaTypeId<QDBusSignature>())
        return value.value<QDBusSignature>().signature();
    if (type == QMetaType::QByteArray)
        return QString::fromLatin1(value.toByteArray().toBase64());
    return QJsonValue::fromVariant(value);
}

void CallLog::record(const QDBusMessage &call)
{
    QJsonArray args;
    for (const QVariant &v : call.arguments())
        args.append(toJson(v));
    QJsonObject entry{{QStringLiteral("seq"), ++m_seq},
                      {QStringLiteral("sender"), call.service()},
                      {QStringLiteral("path"), call.path()},
                      {QStringLiteral("interface"), call.interface()},
                      {QStringLiteral("member"), call.member()},
                      {QStringLiteral("args"), args}};
    m_entries.append(entry);
    if (m_file.isOpen()) {
        m_file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
        m_file.flush();
    }
}

void CallLog::clear()
{
    m_entries.clear();
}

QString CallLog::text() const
{
    QByteArray out;
    for (const QJsonObject &e : m_entries)
        out += QJsonDocument(e).toJson(QJsonDocument::Compact) + '\n';
    return QString::fromUtf8(out);
}
