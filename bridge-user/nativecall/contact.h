#pragma once

#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantList>

class QDBusArgument;

// A new contact for the host contacts application: field name to a list of
// values (D-Bus a{sav}); every value is a string. Keys: "phoneNumbers",
// "emailAddresses", "accountUris", "nickname", "postal", "note".
using Contact = QMap<QString, QVariantList>;

Q_DECLARE_METATYPE(Contact)

QDBusArgument &operator<<(QDBusArgument &argument, const Contact &contact);
const QDBusArgument &operator>>(const QDBusArgument &argument, Contact &contact);

// Registers "Contact" with the meta-type system and D-Bus once.
void registerContactType();

// The contact Android asked for. The postal address is framed by line
// feeds the way the contacts application splits an address block.
Contact makeContact(const QStringList &phoneNumbers, const QStringList &emailAddresses,
                    const QStringList &accountUris, const QString &nickname, const QString &postal,
                    const QString &note);
