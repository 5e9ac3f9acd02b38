#include "intentjson.h"

#include "clipdata.h"
#include "novumparcel.h"

#include <QJsonArray>

namespace {

// More entries than any real extras bundle carries; a lying count ends here.
const int kMaxEntries = 1000;
const int kMaxNesting = 4;

QJsonValue readUriValue(NovumParcel &in)
{
    in.readString();   // the parcelable's class, "android.net.Uri"
    return QJsonObject{{QStringLiteral("uri"), in.readUri().toString()}};
}

bool readValue(NovumParcel &in, QJsonValue *value, int *tag)
{
    *tag = in.readInt32();
    switch (*tag) {
    case -1:
        *value = QJsonValue();
        return true;
    case 0:
        *value = in.readString();
        return true;
    case 1:
        *value = in.readInt32();
        return true;
    case 6:
        *value = double(in.readInt64());
        return true;
    case 8:
        *value = in.readDouble();
        return true;
    case 9:
        *value = in.readBool();
        return true;
    case 14:
        *value = QJsonArray::fromStringList(in.readStringList());
        return true;
    case 4:
        *value = readUriValue(in);
        return true;
    case 16: {
        const int count = in.readInt32();
        QJsonArray uris;
        for (int i = 0; i < count && i < kMaxEntries && !in.atEnd(); ++i)
            uris << readUriValue(in);
        *value = uris;
        return true;
    }
    default:
        return false;
    }
}

QJsonValue readExtras(NovumParcel &in, QJsonObject *intent)
{
    const int length = in.readInt32();
    if (length < 0)
        return QJsonObject();
    if (uint32_t(in.readInt32()) != 0x4C444E42u) {
        intent->insert(QStringLiteral("unreadable"), QStringLiteral("bad bundle magic"));
        return QJsonObject();
    }
    QJsonObject extras;
    const int count = in.readInt32();
    for (int i = 0; i < count && i < kMaxEntries && !in.atEnd(); ++i) {
        const QString key = in.readString();
        QJsonValue value;
        int tag = 0;
        if (!readValue(in, &value, &tag)) {
            intent->insert(QStringLiteral("unreadable"), QStringLiteral("value tag %1 of %2").arg(tag).arg(key));
            break;
        }
        extras.insert(key, value);
    }
    return extras;
}

} // namespace

QJsonObject readIntentJson(NovumParcel &in, int sdk, int depth)
{
    QJsonObject o;
    auto text = [](const QString &s) { return s.isNull() ? QJsonValue() : QJsonValue(s); };
    o.insert(QStringLiteral("action"), text(in.readString()));
    o.insert(QStringLiteral("data"), in.readUri().toString());
    o.insert(QStringLiteral("type"), text(in.readString()));
    if (sdk > 28)
        o.insert(QStringLiteral("identifier"), text(in.readString()));
    o.insert(QStringLiteral("flags"), in.readInt32());
    o.insert(QStringLiteral("package"), text(in.readString()));
    const QString componentPackage = in.readString();
    o.insert(QStringLiteral("componentPackage"), text(componentPackage));
    if (!componentPackage.isEmpty())
        o.insert(QStringLiteral("componentClass"), text(in.readString()));
    if (in.readInt32() == 1) {
        QJsonArray bounds;
        for (int i = 0; i < 4; ++i)
            bounds << in.readInt32();
        o.insert(QStringLiteral("bounds"), bounds);
    }
    o.insert(QStringLiteral("categories"), QJsonArray::fromStringList(in.readStringList()));
    if (in.readInt32() == 1) {
        if (depth >= kMaxNesting) {
            o.insert(QStringLiteral("unreadable"), QStringLiteral("selectors nested too deep"));
            return o;
        }
        o.insert(QStringLiteral("selector"), readIntentJson(in, sdk, depth + 1));
    }
    if (in.readInt32() == 1) {
        const ClipData clip = in.readClipData();
        o.insert(QStringLiteral("clipData"),
                 QJsonObject{{QStringLiteral("label"), clip.label}, {QStringLiteral("items"), clip.items.size()}});
    }
    o.insert(QStringLiteral("contentUserHint"), in.readInt32());
    o.insert(QStringLiteral("extras"), readExtras(in, &o));
    return o;
}
