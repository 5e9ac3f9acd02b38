#include "outputformatter.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QString sizeLine(const QString &label, const QJsonValue &value)
{
    const qint64 bytes = qint64(value.toDouble(-1));
    if (bytes < 0)
        return QStringLiteral("%1 unknown").arg(label);
    return QStringLiteral("%1 %2 (%3 bytes)").arg(label, OutputFormatter::formatBytes(bytes)).arg(bytes);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString appsTable(const QJsonArray &apps)
{
    if (apps.isEmpty())
        return QStringLiteral("No Android apps installed.\n");
    QStringList packages{QStringLiteral("PACKAGE")};
    QStringList labels{QStringLiteral("LABEL")};
    QStringList files{QStringLiteral("DESKTOP FILE")};
    for (const QJsonValue &v : apps) {
        const QJsonObject app = v.toObject();
        packages << OutputFormatter::printable(app.value(QLatin1String("package")).toString());
        labels << OutputFormatter::printable(app.value(QLatin1String("label")).toString());
        files << OutputFormatter::printable(app.value(QLatin1String("desktopFile")).toString());
    }
    int packageWidth = 0;
    int labelWidth = 0;
    for (int i = 0; i < packages.size(); ++i) {
        packageWidth = qMax(packageWidth, packages.at(i).size());
        labelWidth = qMax(labelWidth, labels.at(i).size());
    }
    QString out;
    for (int i = 0; i < packages.size(); ++i) {
        QString row = packages.at(i).leftJustified(packageWidth) + QStringLiteral("  ") +
                      labels.at(i).leftJustified(labelWidth) + QStringLiteral("  ") + files.at(i);
        while (row.endsWith(QLatin1Char(' ')))
            row.chop(1);
        out += row + QLatin1Char('\n');
    }
    return out;
}

} // namespace

namespace OutputFormatter {

QString formatBytes(qint64 bytes)
{
    if (bytes < 0)
        return QStringLiteral("unknown");
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    static const char *const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = double(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 5) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString printable(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            c = QLatin1Char('?');
    }
    return out;
}

QByteArray json(const QJsonObject &result)
{
    return QJsonDocument(result).toJson(QJsonDocument::Compact) + '\n';
}

QString human(const QString &command, const QJsonObject &r)
{
    const auto str = [&r](const char *key) { return printable(r.value(QLatin1String(key)).toString()); };
    if (command == QLatin1String("status")) {
        return QStringLiteral("Runtime: %1\nSDK level: %2\nRelease: %3\nSecurity patch: %4\n")
            .arg(r.value(QLatin1String("running")).toBool() ? QStringLiteral("running") : QStringLiteral("stopped"))
            .arg(r.value(QLatin1String("sdk")).toInt())
            .arg(str("release"), str("securityPatch"));
    }
    if (command == QLatin1String("install")) {
        QString out;
        for (const QJsonValue &v : r.value(QLatin1String("files")).toArray()) {
            const QJsonObject f = v.toObject();
            if (f.value(QLatin1String("requested")).toBool())
                out += QStringLiteral("%1: install requested\n").arg(printable(f.value(QLatin1String("file")).toString()));
        }
        return out;
    }
    if (command == QLatin1String("size")) {
        return QStringLiteral("%1\n%2\n%3\n%4\n")
            .arg(str("package"), sizeLine(QStringLiteral("Code: "), r.value(QLatin1String("codeBytes"))),
                 sizeLine(QStringLiteral("Data: "), r.value(QLatin1String("dataBytes"))),
                 sizeLine(QStringLiteral("Cache:"), r.value(QLatin1String("cacheBytes"))));
    }
    if (command == QLatin1String("data-usage"))
        return sizeLine(QStringLiteral("Android app data:"), r.value(QLatin1String("bytes"))) + QLatin1Char('\n');
    if (command == QLatin1String("autostart")) {
        return QStringLiteral("%1: starts at boot: %2\n")
            .arg(str("package"), yesNo(r.value(QLatin1String("autostart")).toBool()));
    }
    if (command == QLatin1String("apps"))
        return appsTable(r.value(QLatin1String("apps")).toArray());
    // Commands without an answer of their own say what they asked for.
    const QString done = str("requested");
    return done.isEmpty() ? QString() : done + QLatin1Char('\n');
}

} // namespace OutputFormatter
