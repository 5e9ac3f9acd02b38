#include "apkdescription.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// An icon is generated at most this large (a binder transaction cannot
// carry more anyway).
const int kMaxGeneratedIcon = 1024 * 1024;

QStringList strings(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &v : value.toArray())
        list << v.toString();
    return list;
}

} // namespace

QString ApkDescription::packageFromFileName(const QString &fileName)
{
    QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.endsWith(QLatin1String(".apk")))
        name.chop(4);
    const int dash = name.indexOf(QLatin1Char('-'));
    return dash >= 0 ? name.left(dash) : name;
}

ApkDescription ApkDescription::parse(const QByteArray &content, const QString &fileName)
{
    ApkDescription description;
    const QJsonObject top = QJsonDocument::fromJson(content).object();
    description.package = top.value(QStringLiteral("package")).toString(packageFromFileName(fileName));
    const QString version = top.value(QStringLiteral("version")).toString();
    for (const QJsonValue &value : top.value(QStringLiteral("activities")).toArray()) {
        const QJsonObject o = value.toObject();
        ApkActivity a;
        a.className = o.value(QStringLiteral("class")).toString();
        a.label = o.value(QStringLiteral("label")).toString();
        a.caption = o.value(QStringLiteral("caption")).toString();
        a.version = o.value(QStringLiteral("version")).toString(version);
        a.icon = QByteArray::fromBase64(o.value(QStringLiteral("icon")).toString().toLatin1());
        const int iconSize = qBound(0, o.value(QStringLiteral("iconSize")).toInt(), kMaxGeneratedIcon);
        if (iconSize > 0) {
            a.icon.resize(iconSize);
            for (int i = 0; i < iconSize; ++i)
                a.icon[i] = char(i * 7 + 1);
        }
        a.mimeTypes = strings(o.value(QStringLiteral("mimeTypes")));
        a.schemes = strings(o.value(QStringLiteral("schemes")));
        a.hosts = strings(o.value(QStringLiteral("hosts")));
        a.shareTypes = strings(o.value(QStringLiteral("shareTypes")));
        a.multi = o.value(QStringLiteral("multi")).toBool();
        a.handler = o.value(QStringLiteral("handler")).toBool() || !a.mimeTypes.isEmpty() ||
                    !a.schemes.isEmpty() || !a.hosts.isEmpty() || !a.shareTypes.isEmpty();
        description.activities << a;
    }
    return description;
}
