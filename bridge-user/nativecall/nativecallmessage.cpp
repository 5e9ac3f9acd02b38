#include "nativecallmessage.h"

#include <QDBusArgument>
#include <QStringList>

namespace NativeCallMessage {

QDBusMessage openUrl(const QString &url)
{
    QDBusMessage message;
    if (url.startsWith(QLatin1String("mailto:"))) {
        message = QDBusMessage::createMethodCall(QStringLiteral("com.kestrel.email.ui"), QStringLiteral("/com/kestrel/email/ui"),
                                                 QStringLiteral("com.kestrel.email.ui"), QStringLiteral("mailto"));
    } else if (url.startsWith(QLatin1String("sms:"))) {
        message = QDBusMessage::createMethodCall(QStringLiteral("org.rovidezir.Messages"), QStringLiteral("/"),
                                                 QStringLiteral("org.rovidezir.Messages"), QStringLiteral("openUrl"));
    } else {
        message = QDBusMessage::createMethodCall(QStringLiteral("org.rovidezir.browser.ui"), QStringLiteral("/ui"),
                                                 QStringLiteral("org.rovidezir.browser.ui"), QStringLiteral("openUrl"));
    }
    message << QStringList{url};
    return message;
}

QDBusMessage createContact(const Contact &contact)
{
    registerContactType();
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("com.kestrel.contacts.ui"),
                                                          QStringLiteral("/com/kestrel/contacts/ui"),
                                                          QStringLiteral("com.kestrel.contacts.ui"),
                                                          QStringLiteral("createContact"));
    message << QVariant::fromValue(contact);
    return message;
}

} // namespace NativeCallMessage
