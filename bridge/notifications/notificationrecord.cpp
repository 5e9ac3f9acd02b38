#include "notificationrecord.h"

#include "logging.h"
#include "novumparcel.h"

namespace {

// Base64 of at most kMaxIconBytes: four characters for every three bytes.
const int kMaxIconChars = (NotificationRecord::kMaxIconBytes + 2) / 3 * 4;

QString boundedIcon(const QString &base64, const QString &key, const char *which)
{
    if (base64.size() <= kMaxIconChars)
        return base64;
    qCWarning(lcNotif) << "Dropping" << which << "icon of" << key << "of" << base64.size() << "characters";
    return QString();
}

} // namespace

NotificationRecord NotificationRecord::read(NovumParcel &parcel)
{
    NotificationRecord r;
    r.key = parcel.readString();
    r.appName = parcel.readString();
    r.title = parcel.readString();
    r.text = parcel.readString();
    r.subText = parcel.readString();
    r.color = parcel.readInt32();
    r.smallIcon = boundedIcon(parcel.readString(), r.key, "small");
    r.largeIcon = boundedIcon(parcel.readString(), r.key, "large");
    r.packageName = parcel.readString();
    parcel.readString();
    r.silent = parcel.readBool();
    r.vibrate = parcel.readBool();
    r.ledColor = parcel.readInt32();
    r.progressMax = parcel.readInt32();
    r.progress = parcel.readInt32();
    r.progressIndeterminate = parcel.readBool();
    r.postTime = parcel.readInt64();
    r.importance = parcel.readInt32();
    r.number = parcel.readInt32();
    r.category = parcel.readString();
    r.channelId = parcel.readString();
    const QStringList actions = parcel.readStringList();
    for (const QString &action : actions) {
        if (action.isEmpty() || action == QLatin1String("app")) {
            qCWarning(lcNotif) << "Dropping action" << action << "of" << r.key;
            continue;
        }
        if (r.actions.size() == kMaxActions) {
            qCWarning(lcNotif) << "Dropping actions of" << r.key << "past" << kMaxActions;
            break;
        }
        r.actions << action;
    }
    r.malformed = parcel.isMalformed();
    return r;
}
