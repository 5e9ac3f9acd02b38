#pragma once

#include <QContactDetail>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// One Android data row: a mime type and its (column, value) pairs, the
// type column "data2" first where the detail has one.
struct ContactRow
{
    QString mimeType;
    QList<QPair<QString, QString>> pairs;

    bool operator==(const ContactRow &other) const
    {
        return mimeType == other.mimeType && pairs == other.pairs;
    }
};

// The Android row of a host detail; none for detail types Android is not
// told of and for details without any non-empty mapped field.
std::optional<ContactRow> contactRow(const QtContacts::QContactDetail &detail);

// Android's storage path for what lies in the host home directory.
extern const QString kAndroidHomeStorage;
