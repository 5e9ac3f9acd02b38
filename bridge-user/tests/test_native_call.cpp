// Which host application a link from Android opens, and the contact map
// as it goes over D-Bus.
#include "nativecall/contact.h"
#include "nativecall/nativecallmessage.h"

#include <QAssociativeIterable>
#include <QDBusMetaType>

#include <gtest/gtest.h>

namespace {

TEST(NativeCall, UrlsGoToTheApplicationOfTheirCaseSensitivePrefix)
{
    const struct {
        const char *url;
        const char *service;
        const char *path;
        const char *member;
    } cases[] = {
        {"mailto:someone@example.org", "com.kestrel.email.ui", "/com/kestrel/email/ui", "mailto"},
        {"sms:+4912345", "org.rovidezir.Messages", "/", "openUrl"},
        {"MAILTO:someone@example.org", "org.rovidezir.browser.ui", "/ui", "openUrl"},
        {"SMS:+4912345", "org.rovidezir.browser.ui", "/ui", "openUrl"},
        {"https://example.org/mailto:x", "org.rovidezir.browser.ui", "/ui", "openUrl"},
        {"mailto", "org.rovidezir.browser.ui", "/ui", "openUrl"},
        {"", "org.rovidezir.browser.ui", "/ui", "openUrl"},
    };
    for (const auto &c : cases) {
        const QDBusMessage m = NativeCallMessage::openUrl(QString::fromUtf8(c.url));
        EXPECT_EQ(m.type(), QDBusMessage::MethodCallMessage);
        EXPECT_EQ(m.service().toStdString(), c.service) << c.url;
        EXPECT_EQ(m.path().toStdString(), c.path) << c.url;
        EXPECT_EQ(m.interface(), m.service()) << c.url;
        EXPECT_EQ(m.member().toStdString(), c.member) << c.url;
        ASSERT_EQ(m.arguments().size(), 1);
        EXPECT_EQ(m.arguments()[0].toStringList(), QStringList{QString::fromUtf8(c.url)});
        EXPECT_STREQ(QDBusMetaType::typeToSignature(m.arguments()[0].userType()), "as");
    }
}

TEST(NativeCall, ContactsCarryAllSixKeysAsStringsInAsav)
{
    const struct {
        const char *what;
        Contact contact;
        Contact expected;
    } cases[] = {
        {"filled",
         makeContact({"+49 1", "+49 2"}, {"a@example.org"}, {"sip:a@example.org"}, "Al", "Main St 1", "n\u00f6te"),
         {{"phoneNumbers", {"+49 1", "+49 2"}},
          {"emailAddresses", {"a@example.org"}},
          {"accountUris", {"sip:a@example.org"}},
          {"nickname", {"Al"}},
          {"postal", {"\n\n\nMain St 1\n\n"}},
          {"note", {"n\u00f6te"}}}},
        {"empty",
         makeContact({}, {}, {}, QString(), QString(), QString()),
         {{"phoneNumbers", {}},
          {"emailAddresses", {}},
          {"accountUris", {}},
          {"nickname", {QString()}},
          {"postal", {"\n\n\n\n\n"}},
          {"note", {QString()}}}},
    };
    registerContactType();
    EXPECT_EQ(QMetaType::type("Contact"), qMetaTypeId<Contact>());
    EXPECT_STREQ(QDBusMetaType::typeToSignature(qMetaTypeId<Contact>()), "a{sav}");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.contact.keys(), c.expected.keys());
        for (const QString &key : c.expected.keys()) {
            const QVariantList values = c.contact.value(key);
            EXPECT_EQ(values.size(), c.expected.value(key).size()) << qPrintable(key);
            for (int i = 0; i < values.size(); ++i) {
                EXPECT_EQ(values[i].userType(), QMetaType::QString) << qPrintable(key);
                EXPECT_EQ(values[i].toString(), c.expected.value(key)[i].toString()) << qPrintable(key);
            }
        }

        const QDBusMessage call = NativeCallMessage::createContact(c.contact);
        EXPECT_EQ(call.member(), QStringLiteral("createContact"));
        EXPECT_EQ(call.service(), QStringLiteral("com.kestrel.contacts.ui"));
        EXPECT_EQ(call.path(), QStringLiteral("/com/kestrel/contacts/ui"));
        ASSERT_EQ(call.arguments().size(), 1);
        EXPECT_EQ(call.arguments()[0].userType(), qMetaTypeId<Contact>());
        // Generic code can walk it as a map.
        const QVariant held = QVariant::fromValue(c.contact);
        ASSERT_TRUE(held.canConvert<QVariantMap>());
        EXPECT_EQ(held.value<QAssociativeIterable>().size(), 6);
    }
}

} // namespace
