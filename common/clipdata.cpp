#include "clipdata.h"

#include <QDebug>

QString ClipData::toString() const
{
    QString out;
    QDebug d(&out);
    d.nospace().noquote();
    d << "  Clipdata: label:" << label << ", types:" << mimeTypes.join(QStringLiteral(", "))
      << ", date:" << timestamp << ", icon size:" << icon.size() << ". extras:";
    d.quote() << extras;
    d.noquote() << "\n";
    for (const ClipDataItem &item : items)
        d << item.toString();
    return out;
}
