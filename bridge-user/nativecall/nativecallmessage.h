#pragma once

#include "contact.h"

#include <QDBusMessage>
#include <QString>

// The session-bus calls that hand an Android user action to a host
// application. Built, not sent: the caller sends them without waiting.
namespace NativeCallMessage {

// "mailto:" goes to the e-mail application, "sms:" to messages, anything
// else to the browser; the prefixes are case-sensitive.
QDBusMessage openUrl(const QString &url);
QDBusMessage createContact(const Contact &contact);

} // namespace NativeCallMessage
