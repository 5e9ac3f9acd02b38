#include "notificationcomparison.h"

#include "notification.h"

#include <QDebug>

namespace NotificationComparison {

namespace {

template <typename T>
void compare(QStringList *out, const char *field, const T &a, const T &b)
{
    if (a == b)
        return;
    QString line;
    QDebug(&line).nospace() << field << ": " << a << " != " << b;
    out->append(line);
}

} // namespace

QStringList differences(const Notification &a, const Notification &b)
{
    QStringList out;
    compare(&out, "summary", a.summary(), b.summary());
    compare(&out, "body", a.body(), b.body());
    compare(&out, "expireTimeout", a.expireTimeout(), b.expireTimeout());
    compare(&out, "timestamp ", a.timestamp(), b.timestamp());
    compare(&out, "itemCount", a.itemCount(), b.itemCount());
    for (const auto &hint : {std::make_pair("color ", "x-nemo-color"), std::make_pair("led-argb", "x-nemo-led-argb"),
                             std::make_pair("progress", "x-nemo-progress"),
                             std::make_pair("priority", "x-nemo-priority")})
        compare(&out, hint.first, a.hintValue(QLatin1String(hint.second)), b.hintValue(QLatin1String(hint.second)));
    return out;
}

} // namespace NotificationComparison
