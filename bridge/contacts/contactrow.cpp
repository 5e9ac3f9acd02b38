#include "contactrow.h"

#include <QContactAddress>
#include <QContactAnniversary>
#include <QContactAvatar>
#include <QContactBirthday>
#include <QContactEmailAddress>
#include <QContactName>
#include <QContactNickname>
#include <QContactNote>
#include <QContactOrganization>
#include <QContactPhoneNumber>
#include <QContactUrl>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QUrl>

using namespace QtContacts;

const QString kAndroidHomeStorage = QStringLiteral("/storage/8ff87de4-0b37-4799-b09a-82773e869e07");

namespace {

enum class Form { Text, Date, HomeUrl };

struct Field
{
    int field;
    const char *column;
};

// Fields in ascending host field order, as the rows list them.
struct Mapping
{
    QContactDetail::DetailType type;
    const char *mimeType;
    Form form;
    QList<Field> fields;
};

const QList<Mapping> &mappings()
{
    static const QList<Mapping> table = {
        {QContactDetail::TypeName, "vnd.android.cursor.item/name", Form::Text,
         {{QContactName::FieldPrefix, "data4"}, {QContactName::FieldFirstName, "data2"},
          {QContactName::FieldMiddleName, "data5"}, {QContactName::FieldLastName, "data3"},
          {QContactName::FieldSuffix, "data6"}}},
        {QContactDetail::TypeNickname, "vnd.android.cursor.item/nickname", Form::Text,
         {{QContactNickname::FieldNickname, "data1"}}},
        {QContactDetail::TypePhoneNumber, "vnd.android.cursor.item/phone_v2", Form::Text,
         {{QContactPhoneNumber::FieldNumber, "data1"}}},
        {QContactDetail::TypeEmailAddress, "vnd.android.cursor.item/email_v2", Form::Text,
         {{QContactEmailAddress::FieldEmailAddress, "data1"}}},
        {QContactDetail::TypeAddress, "vnd.android.cursor.item/postal-address_v2", Form::Text,
         {{QContactAddress::FieldStreet, "data4"}, {QContactAddress::FieldLocality, "data7"},
          {QContactAddress::FieldRegion, "data8"}, {QContactAddress::FieldPostcode, "data9"},
          {QContactAddress::FieldCountry, "data10"}, {QContactAddress::FieldPostOfficeBox, "data5"}}},
        {QContactDetail::TypeNote, "vnd.android.cursor.item/note", Form::Text, {{QContactNote::FieldNote, "data1"}}},
        {QContactDetail::TypeAnniversary, "vnd.android.cursor.item/contact_event", Form::Date,
         {{QContactAnniversary::FieldOriginalDate, "data1"}}},
        {QContactDetail::TypeBirthday, "vnd.android.cursor.item/contact_event", Form::Date,
         {{QContactBirthday::FieldBirthday, "data1"}}},
        {QContactDetail::TypeUrl, "vnd.android.cursor.item/website", Form::Text, {{QContactUrl::FieldUrl, "data1"}}},
        {QContactDetail::TypeOrganization, "vnd.android.cursor.item/organization", Form::Text,
         {{QContactOrganization::FieldName, "data1"}, {QContactOrganization::FieldDepartment, "data5"},
          {QContactOrganization::FieldLocation, "data9"}, {QContactOrganization::FieldRole, "data6"},
          {QContactOrganization::FieldTitle, "data4"}}},
        {QContactDetail::TypeAvatar, "vnd.android.cursor.item/photo", Form::HomeUrl,
         {{QContactAvatar::FieldImageUrl, "data15"}}},
    };
    return table;
}

// The first of |preferred| found in |values|; else the first value; else -1.
int pick(const QList<int> &values, std::initializer_list<int> preferred)
{
    for (int p : preferred) {
        if (values.contains(p))
            return p;
    }
    return values.isEmpty() ? -1 : values.first();
}

QString text(const QVariant &value, Form form)
{
    switch (form) {
    case Form::Date: {
        // The day only: Android's events carry no time.
        const QDate date = value.type() == QVariant::DateTime ? value.toDateTime().date() : value.toDate();
        return date.isValid() ? date.toString(Qt::ISODate) : QString();
    }
    case Form::HomeUrl: {
        QUrl url = value.toUrl();
        const QString home = QDir::homePath();
        const QString path = url.path();
        // Only the home folder itself and what lies below it, not a sibling
        // whose name merely starts the same ("/home/ann" vs "/home/anna").
        if ((url.isLocalFile() || url.scheme().isEmpty()) && home != QLatin1String("/")
            && (path == home || path.startsWith(home + QLatin1Char('/'))))
            url.setPath(kAndroidHomeStorage + path.mid(home.size()));
        return url.toString();
    }
    case Form::Text:
        break;
    }
    return value.toString();
}

// Android's type column, or a null string where the mime type has none.
QString typeColumn(const QContactDetail &detail)
{
    const int context = pick(detail.contexts(), {QContactDetail::ContextWork, QContactDetail::ContextHome,
                                                 QContactDetail::ContextOther});
    const bool home = context == QContactDetail::ContextHome;
    const bool work = context == QContactDetail::ContextWork;
    switch (detail.type()) {
    case QContactDetail::TypePhoneNumber: {
        const QList<int> subTypes = detail.value<QList<int>>(QContactPhoneNumber::FieldSubTypes);
        switch (pick(subTypes, {QContactPhoneNumber::SubTypeMobile, QContactPhoneNumber::SubTypeFax,
                                QContactPhoneNumber::SubTypeCar, QContactPhoneNumber::SubTypeAssistant,
                                QContactPhoneNumber::SubTypePager, QContactPhoneNumber::SubTypeLandline})) {
        case QContactPhoneNumber::SubTypeMobile:
            return work ? QStringLiteral("17") : QStringLiteral("2");
        case QContactPhoneNumber::SubTypeFax:
            return home ? QStringLiteral("5") : work ? QStringLiteral("4") : QStringLiteral("13");
        case QContactPhoneNumber::SubTypePager:
            return work ? QStringLiteral("18") : QStringLiteral("6");
        case QContactPhoneNumber::SubTypeCar:
            return QStringLiteral("9");
        case QContactPhoneNumber::SubTypeAssistant:
            return QStringLiteral("19");
        default:
            return home ? QStringLiteral("1") : work ? QStringLiteral("3") : QStringLiteral("7");
        }
    }
    case QContactDetail::TypeEmailAddress:
    case QContactDetail::TypeAddress:
        return home ? QStringLiteral("1") : work ? QStringLiteral("2") : QStringLiteral("3");
    case QContactDetail::TypeOrganization:
        return work ? QStringLiteral("1") : QStringLiteral("2");
    case QContactDetail::TypeAnniversary:
        return QStringLiteral("1");
    case QContactDetail::TypeBirthday:
        return QStringLiteral("3");
    case QContactDetail::TypeUrl: {
        // An absent subtype is none, not the home page its enum value 0 would say.
        const QVariant subType = detail.value(QContactUrl::FieldSubType);
        const int sub = subType.isValid() ? subType.toInt() : -1;
        if (sub == QContactUrl::SubTypeHomePage)
            return QStringLiteral("1");
        if (sub == QContactUrl::SubTypeBlog)
            return QStringLiteral("2");
        return home ? QStringLiteral("4") : work ? QStringLiteral("5") : QStringLiteral("7");
    }
    default:
        return QString();
    }
}

} // namespace

std::optional<ContactRow> contactRow(const QContactDetail &detail)
{
    for (const Mapping &mapping : mappings()) {
        if (mapping.type != detail.type())
            continue;
        ContactRow row;
        row.mimeType = QString::fromLatin1(mapping.mimeType);
        for (const Field &field : mapping.fields) {
            const QString value = text(detail.value(field.field), mapping.form);
            if (!value.isEmpty())
                row.pairs.append({QString::fromLatin1(field.column), value});
        }
        if (row.pairs.isEmpty())
            return std::nullopt;
        const QString type = typeColumn(detail);
        if (!type.isNull())
            row.pairs.prepend({QStringLiteral("data2"), type});
        return row;
    }
    return std::nullopt;
}
