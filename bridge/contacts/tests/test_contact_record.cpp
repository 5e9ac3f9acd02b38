// Host contacts as Android rows: the detail and type tables, and the
// record's bytes.
#include "contacts/contactrecord.h"
#include "novumparcel.h"

#include <ferry/binder/writer.h>

#include <QContactAddress>
#include <QContactAnniversary>
#include <QContactAvatar>
#include <QContactBirthday>
#include <QContactEmailAddress>
#include <QContactGuid>
#include <QContactId>
#include <QContactName>
#include <QContactOrganization>
#include <QContactPhoneNumber>
#include <QContactTimestamp>
#include <QContactUrl>
#include <QUrl>

#include <gtest/gtest.h>

using namespace QtContacts;

namespace {

using Pairs = QList<QPair<QString, QString>>;

QContactPhoneNumber phone(QList<int> subTypes, QList<int> contexts)
{
    QContactPhoneNumber d;
    d.setNumber(QStringLiteral("555"));
    d.setSubTypes(subTypes);
    d.setContexts(contexts);
    return d;
}

QString typeOf(const QContactDetail &detail)
{
    const std::optional<ContactRow> row = contactRow(detail);
    if (!row || row->pairs.isEmpty() || row->pairs.first().first != QLatin1String("data2"))
        return QStringLiteral("none");
    return row->pairs.first().second;
}

TEST(ContactRow, PhoneTypes)
{
    using P = QContactPhoneNumber;
    const int home = QContactDetail::ContextHome, work = QContactDetail::ContextWork, other = QContactDetail::ContextOther;
    const struct {
        QList<int> subTypes;
        QList<int> contexts;
        const char *type;
    } cases[] = {
        {{P::SubTypeLandline, P::SubTypeMobile}, {work}, "17"},   // mobile wins over landline
        {{P::SubTypeMobile}, {home}, "2"},
        {{P::SubTypeMobile}, {home, work}, "17"},                 // work wins over home
        {{P::SubTypeFax}, {home}, "5"},
        {{P::SubTypeFax}, {work}, "4"},
        {{P::SubTypeFax}, {}, "13"},
        {{P::SubTypePager, P::SubTypeFax}, {work}, "4"},          // fax before pager
        {{P::SubTypePager}, {work}, "18"},
        {{P::SubTypePager}, {other}, "6"},
        {{P::SubTypeCar}, {work}, "9"},
        {{P::SubTypeAssistant, P::SubTypeCar}, {}, "9"},          // car before assistant
        {{P::SubTypeAssistant}, {home}, "19"},
        {{P::SubTypeVideo}, {home}, "1"},
        {{P::SubTypeLandline}, {work}, "3"},
        {{}, {}, "7"},
        {{}, {other, home}, "1"},
        {{}, {42}, "7"},                                          // an unknown context is neither
    };
    for (const auto &c : cases)
        EXPECT_EQ(typeOf(phone(c.subTypes, c.contexts)), QLatin1String(c.type)) << c.type;
}

TEST(ContactRow, TypesOfTheOtherDetails)
{
    auto withContext = [](QContactDetail d, QList<int> contexts) {
        d.setContexts(contexts);
        return d;
    };
    QContactEmailAddress email;
    email.setEmailAddress(QStringLiteral("a@b"));
    QContactAddress address;
    address.setLocality(QStringLiteral("Town"));
    QContactOrganization org;
    org.setName(QStringLiteral("Org"));
    QContactUrl url;
    url.setUrl(QStringLiteral("http://x"));
    QContactUrl blog = url;
    blog.setSubType(QContactUrl::SubTypeBlog);
    QContactUrl homePage = url;
    homePage.setSubType(QContactUrl::SubTypeHomePage);
    QContactUrl favourite = url;
    favourite.setSubType(QContactUrl::SubTypeFavourite);
    QContactAnniversary anniversary;
    anniversary.setOriginalDate(QDate(2001, 1, 1));
    QContactBirthday birthday;
    birthday.setDate(QDate(2001, 1, 1));
    QContactName name;
    name.setLastName(QStringLiteral("N"));   // (a first name goes to "data2" too)
    const int home = QContactDetail::ContextHome, work = QContactDetail::ContextWork;
    const struct {
        QContactDetail detail;
        const char *type;
    } cases[] = {
        {withContext(email, {home}), "1"},
        {withContext(email, {home, work}), "2"},
        {email, "3"},
        {withContext(address, {home}), "1"},
        {withContext(address, {work}), "2"},
        {withContext(address, {QContactDetail::ContextOther}), "3"},
        {withContext(org, {work}), "1"},
        {withContext(org, {home}), "2"},
        {homePage, "1"},
        {withContext(blog, {work}), "2"},
        {withContext(favourite, {home}), "4"},
        {withContext(url, {work}), "5"},   // no subtype is not "home page"
        {url, "7"},
        {anniversary, "1"},
        {birthday, "3"},
        {withContext(name, {work}), "none"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(typeOf(c.detail), QLatin1String(c.type)) << c.detail.type() << ' ' << c.type;
}

TEST(ContactRow, FieldsColumnsAndValues)
{
    qputenv("HOME", "/home/ann");
    QContactName name;
    name.setLastName(QStringLiteral("King"));
    name.setFirstName(QStringLiteral("Ada"));
    name.setPrefix(QStringLiteral("Dr"));
    name.setSuffix(QString());   // empty: left out
    QContactAddress address;
    address.setPostOfficeBox(QStringLiteral("PO 1"));
    address.setStreet(QStringLiteral("Main St"));
    address.setCountry(QStringLiteral("DE"));
    address.setContexts(QContactDetail::ContextHome);
    QContactOrganization org;
    org.setTitle(QStringLiteral("Boss"));
    org.setName(QStringLiteral("Co"));
    org.setRole(QStringLiteral("r"));
    org.setLocation(QStringLiteral("l"));
    org.setDepartment({QStringLiteral("d")});
    QContactBirthday birthday;
    birthday.setDateTime(QDateTime(QDate(1815, 12, 10), QTime(23, 30), Qt::UTC));
    auto avatar = [](const char *url) {
        QContactAvatar a;
        a.setImageUrl(QUrl(QString::fromLatin1(url)));
        return a;
    };
    const QString storage = kAndroidHomeStorage;
    const struct {
        QContactDetail detail;
        const char *mime;
        Pairs pairs;
    } cases[] = {
        {name, "vnd.android.cursor.item/name", {{"data4", "Dr"}, {"data2", "Ada"}, {"data3", "King"}}},
        {address, "vnd.android.cursor.item/postal-address_v2",
         {{"data2", "1"}, {"data4", "Main St"}, {"data10", "DE"}, {"data5", "PO 1"}}},
        {org, "vnd.android.cursor.item/organization",
         {{"data2", "2"}, {"data1", "Co"}, {"data5", "d"}, {"data9", "l"}, {"data6", "r"}, {"data4", "Boss"}}},
        {birthday, "vnd.android.cursor.item/contact_event", {{"data2", "3"}, {"data1", "1815-12-10"}}},
        {avatar("file:///home/ann/p.jpg"), "vnd.android.cursor.item/photo", {{"data15", "file://" + storage + "/p.jpg"}}},
        {avatar("/home/ann/a/b.png"), "vnd.android.cursor.item/photo", {{"data15", storage + "/a/b.png"}}},
        {avatar("file:///home/anna/p.jpg"), "vnd.android.cursor.item/photo", {{"data15", "file:///home/anna/p.jpg"}}},
        {avatar("http://h/home/ann/p.jpg"), "vnd.android.cursor.item/photo", {{"data15", "http://h/home/ann/p.jpg"}}},
    };
    for (const auto &c : cases) {
        const std::optional<ContactRow> row = contactRow(c.detail);
        ASSERT_TRUE(row) << c.mime;
        EXPECT_EQ(row->mimeType, QLatin1String(c.mime));
        EXPECT_EQ(row->pairs, c.pairs) << c.mime;
    }

    // No row for what Android is not told of, nor for empty details.
    QContactGuid guid;
    guid.setGuid(QStringLiteral("g"));
    EXPECT_FALSE(contactRow(guid));
    QContactPhoneNumber empty;
    empty.setContexts(QContactDetail::ContextWork);
    EXPECT_FALSE(contactRow(empty));
    EXPECT_FALSE(contactRow(QContactBirthday()));
}

// Expected parcel bytes, built by hand.
struct Bytes
{
    std::vector<uint8_t> b;
    Bytes &i32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
        return *this;
    }
    Bytes &s16(const QString &s)
    {
        i32(s.size());
        for (QChar c : s) {
            b.push_back(uint8_t(c.unicode()));
            b.push_back(uint8_t(c.unicode() >> 8));
        }
        b.push_back(0);
        b.push_back(0);
        while (b.size() % 4)
            b.push_back(0);
        return *this;
    }
};

std::vector<uint8_t> bytesOf(const ContactRecord &record)
{
    ferry::binder::Writer writer;
    NovumParcel parcel(&writer);
    record.write(parcel);
    return writer.data();
}

TEST(ContactRecord, Bytes)
{
    const QContactId id(QStringLiteral("qtcontacts:org.nemomobile.contacts.sqlite:"), QByteArray("sql-7"));
    QContact contact;
    contact.setId(id);
    QContactGuid guid;   // no row, and no gap in the rows
    guid.setGuid(QStringLiteral("g"));
    contact.saveDetail(&guid);
    QContactPhoneNumber number = phone({QContactPhoneNumber::SubTypeMobile}, {});
    contact.saveDetail(&number);
    QContactName name;
    name.setFirstName(QStringLiteral("Ada"));
    contact.saveDetail(&name);
    QContactTimestamp stamp;
    stamp.setLastModified(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC));
    contact.saveDetail(&stamp);

    Bytes expected;
    expected.i32(1).i32(1).s16(id.toString()).s16(QStringLiteral("2026-01-02T03:04:05Z")).i32(2);
    expected.s16(QStringLiteral("vnd.android.cursor.item/phone_v2")).i32(2);
    expected.s16(QStringLiteral("data2")).s16(QStringLiteral("2")).s16(QStringLiteral("data1")).s16(QStringLiteral("555"));
    expected.s16(QStringLiteral("vnd.android.cursor.item/name")).i32(1);
    expected.s16(QStringLiteral("data2")).s16(QStringLiteral("Ada"));
    EXPECT_EQ(bytesOf(ContactRecord::fromContact(contact, ContactRecord::Added)), expected.b);

    // A removal: the id, an empty (not null) timestamp and zero rows.
    Bytes removal;
    removal.i32(1).i32(3).s16(id.toString()).s16(QString()).i32(0);
    EXPECT_EQ(bytesOf(ContactRecord::removal(id)), removal.b);

    // A contact with nothing Android knows of still makes one record.
    QContact bare;
    bare.setId(id);
    Bytes none;
    none.i32(1).i32(2).s16(id.toString()).s16(QString()).i32(0);
    EXPECT_EQ(bytesOf(ContactRecord::fromContact(bare, ContactRecord::Changed)), none.b);
}

} // namespace
