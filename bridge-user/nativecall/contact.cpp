#include "contact.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QSequentialIterable>

QDBusArgument &operator<<(QDBusArgument &argument, const Contact &contact)
{
    argument.beginMap(QMetaType::QString, qMetaTypeId<QVariantList>());
    for (auto it = contact.constBegin(); it != contact.constEnd(); ++it) {
        argument.beginMapEntry();
        argument << it.key() << it.value();
        argument.endMapEntry();
    }
    argument.endMap();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Contact &contact)
{
    contact.clear();
    argument.beginMap();
    while (!argument.atEnd()) {
        QString key;
        QVariantList values;
        argument.beginMapEntry();
        argument >> key >> values;
        argument.endMapEntry();
        contact.insert(key, values);
    }
    argument.endMap();
    return argument;
}

void registerContactType()
{
    static const bool registered = [] {
        qRegisterMetaType<Contact>("Contact");
        qDBusRegisterMetaType<Contact>();
        // Lets generic code walk a Contact held in a QVariant as a map.
        if (!QMetaType::hasRegisteredConverterFunction<Contact, QtMetaTypePrivate::QAssociativeIterableImpl>())
            QMetaType::registerConverter<Contact, QtMetaTypePrivate::QAssociativeIterableImpl>(
                QtMetaTypePrivate::QAssociativeIterableConvertFunctor<Contact>());
        return true;
    }();
    Q_UNUSED(registered)
}

namespace {
QVariantList variants(const QStringList &strings)
{
    QVariantList list;
    list.reserve(strings.size());
    for (const QString &s : strings)
        list.append(s);
    return list;
}
} // namespace

Contact makeContact(const QStringList &phoneNumbers, const QStringList &emailAddresses,
                    const QStringList &accountUris, const QString &nickname, const QString &postal,
                    const QString &note)
{
    Contact contact;
    contact.insert(QStringLiteral("phoneNumbers"), variants(phoneNumbers));
    contact.insert(QStringLiteral("emailAddresses"), variants(emailAddresses));
    contact.insert(QStringLiteral("accountUris"), variants(accountUris));
    contact.insert(QStringLiteral("nickname"), {nickname});
    contact.insert(QStringLiteral("postal"), {QStringLiteral("\n\n\n") + postal + QStringLiteral("\n\n")});
    contact.insert(QStringLiteral("note"), {note});
    return contact;
}
