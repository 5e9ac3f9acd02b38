#pragma once

#include "notification.h"

#include <QImage>

struct NotificationRecord;

// How an Android notification record becomes a host notification: the
// texts, category, colour, feedback, progress, priority, urgency, item
// count, timestamp and actions. Icons are the caller's (they need the
// cache directory).
namespace NotificationBuilder {

// Android category to the host's, and the host feedback it asks for (empty:
// none).
QString hostCategory(const QString &androidCategory);
QString feedback(const QString &androidCategory);
// "#rrggbb" of an ARGB colour (alpha dropped), "auto" for 0.
QString colorHint(int32_t argb);
Notification::Urgency urgency(int32_t importance);
// importance × 25, kept within int.
int priority(int32_t importance);
// The "x-nemo-progress" value; invalid when no progress is to be shown.
QVariant progress(const NotificationRecord &record);

void fill(Notification *notification, const NotificationRecord &record);

// The large icon; a null image when the data is no image.
QImage decodeIcon(const QString &base64);

} // namespace NotificationBuilder
