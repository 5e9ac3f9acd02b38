#pragma once

#include <QString>
#include <QUrl>

#include <memory>

class Intent;

// One item of clip data: text, HTML text, an intent and/or a URI. The
// intent is owned; copies are deep.
class ClipDataItem
{
public:
    ClipDataItem();
    ClipDataItem(const ClipDataItem &other);
    ClipDataItem(ClipDataItem &&other) noexcept;
    ClipDataItem &operator=(const ClipDataItem &other);
    ClipDataItem &operator=(ClipDataItem &&other) noexcept;
    ~ClipDataItem();

    void setIntent(const Intent &intent);

    QString toString() const;

    QString text;
    QString htmlText;
    std::unique_ptr<Intent> intent;
    QUrl uri;
};
