#include "clipdataitem.h"

#include "intent.h"

#include <QDebug>

ClipDataItem::ClipDataItem() = default;
ClipDataItem::ClipDataItem(ClipDataItem &&other) noexcept = default;
ClipDataItem &ClipDataItem::operator=(ClipDataItem &&other) noexcept = default;
ClipDataItem::~ClipDataItem() = default;

ClipDataItem::ClipDataItem(const ClipDataItem &other)
{
    *this = other;
}

ClipDataItem &ClipDataItem::operator=(const ClipDataItem &other)
{
    if (this == &other)
        return *this;
    text = other.text;
    htmlText = other.htmlText;
    intent = other.intent ? std::make_unique<Intent>(*other.intent) : nullptr;
    uri = other.uri;
    return *this;
}

void ClipDataItem::setIntent(const Intent &i)
{
    intent = std::make_unique<Intent>(i);
}

QString ClipDataItem::toString() const
{
    QString out;
    QDebug d(&out);
    d.nospace().noquote();
    d << "    ClipDataItem: text:" << text << ", html:" << htmlText << ", uri:" << uri.toString()
      << "\n";
    if (intent)
        d << "ClipDataItem intent: " << intent->toString();
    return out;
}
