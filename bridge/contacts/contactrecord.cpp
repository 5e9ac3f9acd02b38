#include "contactrecord.h"

#include "novumparcel.h"

#include <QContactId>
#include <QContactTimestamp>

using namespace QtContacts;

ContactRecord ContactRecord::fromContact(const QContact &contact, Operation operation)
{
    ContactRecord record;
    record.operation = operation;
    record.contactId = contact.id().toString();
    const QDateTime modified = contact.detail<QContactTimestamp>().lastModified();
    record.timestamp = modified.isValid() ? modified.toString(Qt::ISODate) : QString(QLatin1String(""));
    for (const QContactDetail &detail : contact.details()) {
        if (std::optional<ContactRow> row = contactRow(detail))
            record.rows.append(*row);
    }
    return record;
}

ContactRecord ContactRecord::removal(const QContactId &id)
{
    ContactRecord record;
    record.operation = Removed;
    record.contactId = id.toString();
    record.timestamp = QLatin1String("");
    return record;
}

void ContactRecord::write(NovumParcel &parcel) const
{
    parcel.writeInt32(1);
    parcel.writeInt32(operation);
    parcel.writeString(contactId);
    parcel.writeString(timestamp);
    parcel.writeInt32(rows.size());
    for (const ContactRow &row : rows) {
        parcel.writeString(row.mimeType);
        parcel.writeInt32(row.pairs.size());
        for (const auto &pair : row.pairs) {
            parcel.writeString(pair.first);
            parcel.writeString(pair.second);
        }
    }
}
