#pragma once

#include "contactrow.h"

#include <QContact>
#include <QList>
#include <QString>

class NovumParcel;

// What Android's contacts service is told of one host contact.
struct ContactRecord
{
    enum Operation { Added = 1, Changed = 2, Removed = 3 };

    int operation = Changed;
    QString contactId;   // the host id's string form
    QString timestamp;   // last modification, ISO 8601; empty when unknown
    QList<ContactRow> rows;

    // Rows in the order of the contact's details. A contact without any
    // detail Android is told of still gives a record (without rows), so
    // that every contact is one request.
    static ContactRecord fromContact(const QtContacts::QContact &contact, Operation operation);
    // A removal carries the id only.
    static ContactRecord removal(const QtContacts::QContactId &id);

    void write(NovumParcel &parcel) const;
};
