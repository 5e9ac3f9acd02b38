#pragma once

#include "clipdataitem.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// Clip data as carried by an intent (shares of several items, rich text).
class ClipData
{
public:
    QString toString() const;

    QString label;
    QStringList mimeTypes;
    QVariantMap extras;
    int64_t timestamp = 0;
    QByteArray icon;
    QList<ClipDataItem> items;
};
