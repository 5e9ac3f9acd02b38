#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <memory>

class ClipData;

// An Android intent as this system builds and reads it. The selector and
// the clip data are owned; copies are deep.
class Intent
{
public:
    explicit Intent(const QString &action = QString());
    Intent(const Intent &other);
    Intent(Intent &&other) noexcept;
    Intent &operator=(const Intent &other);
    Intent &operator=(Intent &&other) noexcept;
    ~Intent();

    // Bounds are present when they span a (possibly empty) rectangle.
    bool hasBounds() const { return right >= left && bottom >= top; }
    void setBounds(int32_t l, int32_t t, int32_t r, int32_t b);

    void setSelector(const Intent &intent);
    void setClipData(const ClipData &clip);

    // One log-friendly description, clip data and selector included.
    QString toString() const;

    QString action;
    QUrl data;
    QString type;
    QString identifier;
    QString package;
    QString componentPackage;
    QString componentClass;
    int32_t flags = 0;
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = -1;
    int32_t bottom = -1;
    QStringList categories;
    std::unique_ptr<Intent> selector;
    std::unique_ptr<ClipData> clipData;
    QVariantMap extras;
    int32_t contentUserHint = -2;
};
