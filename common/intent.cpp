#include "intent.h"

#include "clipdata.h"

#include <QDebug>

Intent::Intent(const QString &action)
    : action(action)
{
}

Intent::Intent(const Intent &other)
{
    *this = other;
}

Intent::Intent(Intent &&other) noexcept = default;
Intent &Intent::operator=(Intent &&other) noexcept = default;
Intent::~Intent() = default;

Intent &Intent::operator=(const Intent &other)
{
    if (this == &other)
        return *this;
    action = other.action;
    data = other.data;
    type = other.type;
    identifier = other.identifier;
    package = other.package;
    componentPackage = other.componentPackage;
    componentClass = other.componentClass;
    flags = other.flags;
    left = other.left;
    top = other.top;
    right = other.right;
    bottom = other.bottom;
    categories = other.categories;
    selector = other.selector ? std::make_unique<Intent>(*other.selector) : nullptr;
    clipData = other.clipData ? std::make_unique<ClipData>(*other.clipData) : nullptr;
    extras = other.extras;
    contentUserHint = other.contentUserHint;
    return *this;
}

void Intent::setBounds(int32_t l, int32_t t, int32_t r, int32_t b)
{
    left = l;
    top = t;
    right = r;
    bottom = b;
}

void Intent::setSelector(const Intent &intent)
{
    selector = std::make_unique<Intent>(intent);
}

void Intent::setClipData(const ClipData &clip)
{
    clipData = std::make_unique<ClipData>(clip);
}

QString Intent::toString() const
{
    QString out;
    QDebug d(&out);
    d.nospace().noquote();
    d << "Intent: action:" << action << " data:" << data.toString() << " type:" << type
      << " id:" << identifier << ", flags:" << flags << ", package:" << package << " ("
      << componentPackage << "/" << componentClass << ") " << ", bounds:";
    if (hasBounds())
        d << left << "," << top << "," << right << "," << bottom;
    else
        d << "none";
    d << ", cat:" << categories.join(QStringLiteral(", ")) << ", userhint:" << contentUserHint
      << ", extras:";
    d.quote() << extras;
    d.noquote() << "\n";
    if (clipData)
        d << clipData->toString();
    if (selector)
        d << "Selector: " << selector->toString();
    return out;
}
