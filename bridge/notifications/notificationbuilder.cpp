#include "notificationbuilder.h"

#include "notificationrecord.h"

#include <QBuffer>
#include <QDateTime>
#include <QImageReader>

#include <limits>

namespace NotificationBuilder {

namespace {

// Bigger than any screen a notification shows on.
const int64_t kMaxIconPixels = 2048 * 2048;

struct CategoryMapping
{
    const char *android;
    const char *host;   // also the feedback
};

const CategoryMapping kCategories[] = {
    {"msg", "chat"}, {"event", "calendar"}, {"email", "email"}, {"alarm", "clock"}, {"reminder", "clock"},
};

const CategoryMapping *findCategory(const QString &android)
{
    for (const CategoryMapping &m : kCategories) {
        if (android == QLatin1String(m.android))
            return &m;
    }
    return nullptr;
}

} // namespace

QString hostCategory(const QString &androidCategory)
{
    const CategoryMapping *m = findCategory(androidCategory);
    return m ? QString::fromLatin1(m->host) : androidCategory;
}

QString feedback(const QString &androidCategory)
{
    const CategoryMapping *m = findCategory(androidCategory);
    return m ? QString::fromLatin1(m->host) : QString();
}

QString colorHint(int32_t argb)
{
    if (argb == 0)
        return QStringLiteral("auto");
    return QStringLiteral("#%1").arg(uint32_t(argb) & 0xffffffu, 6, 16, QLatin1Char('0'));
}

Notification::Urgency urgency(int32_t importance)
{
    if (importance == 0 || importance == 1)
        return Notification::Low;
    if (importance == 4 || importance == 5)
        return Notification::Critical;
    return Notification::Normal;
}

int priority(int32_t importance)
{
    const int64_t p = int64_t(importance) * 25;
    return int(qBound<int64_t>(std::numeric_limits<int>::min(), p, std::numeric_limits<int>::max()));
}

QVariant progress(const NotificationRecord &record)
{
    if (record.progressIndeterminate)
        return -1.0;
    if (record.progressMax > 0)
        return double(record.progress) / double(record.progressMax);
    return QVariant();
}

void fill(Notification *n, const NotificationRecord &r)
{
    n->setAppName(r.appName);
    n->setSummary(r.title);
    n->setBody(r.text);
    n->setSubText(r.subText);
    n->setHintValue(QStringLiteral("x-nemo-origin-package"), r.packageName);
    n->setHintValue(QStringLiteral("x-nemo-origin-key"), r.key);

    n->setCategory(hostCategory(r.category));
    const QString fb = feedback(r.category);
    if (!fb.isEmpty())
        n->setHintValue(QStringLiteral("x-nemo-feedback"), fb);
    n->setHintValue(QStringLiteral("x-nemo-color"), colorHint(r.color));

    if (r.silent)
        n->setHintValue(QStringLiteral("suppress-sound"), true);
    if (r.vibrate)
        n->setHintValue(QStringLiteral("x-nemo-vibrate"), true);
    if (!r.silent || r.vibrate)
        n->setHintValue(QStringLiteral("x-nemo-display-on"), true);
    if (r.ledColor != 0)
        n->setHintValue(QStringLiteral("x-nemo-led-argb"), int(r.ledColor));

    // Only a real post time: a record cut short reads -1 here.
    if (r.postTime > 0)
        n->setTimestamp(QDateTime::fromMSecsSinceEpoch(r.postTime, Qt::UTC));
    const QVariant p = progress(r);
    if (p.isValid())
        n->setHintValue(QStringLiteral("x-nemo-progress"), p);
    n->setHintValue(QStringLiteral("x-nemo-priority"), priority(r.importance));
    n->setUrgency(urgency(r.importance));
    if (r.number > 0)
        n->setItemCount(r.number);

    QVariantList actions;
    for (const QString &name : r.actions)
        actions << Notification::remoteAction(name, name);
    actions << Notification::remoteAction(QStringLiteral("app"), QString());
    n->setRemoteActions(actions);
}

QImage decodeIcon(const QString &base64)
{
    QByteArray bytes = QByteArray::fromBase64(base64.toLatin1());
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "PNG");
    // A small file can claim an enormous picture; its header tells before
    // anything is allocated.
    const QSize size = reader.size();
    if (!size.isValid() || int64_t(size.width()) * size.height() > kMaxIconPixels)
        return QImage();
    return reader.read();
}

} // namespace NotificationBuilder
