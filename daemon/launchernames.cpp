#include "launchernames.h"

#include "packagename.h"

#include <QFile>

#include <climits>

QString LauncherNames::escape(const QString &name)
{
    QString escaped = name;
    escaped.replace(QLatin1Char('_'), QLatin1String("__"));
    escaped.replace(QLatin1Char('.'), QLatin1Char('_'));
    return escaped;
}

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isAsciiWordCharacter(QChar c)
{
    return isAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_');
}

} // namespace

bool LauncherNames::isValidPackageName(const QString &name)
{
    return PackageName::isValid(name);
}

bool LauncherNames::isValidClassName(const QString &name)
{
    for (const QChar c : name) {
        if (!isAsciiWordCharacter(c) && c != QLatin1Char('.') && c != QLatin1Char('$'))
            return false;
    }
    return !name.isEmpty();
}

bool LauncherNames::hasControlCharacters(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return true;
    }
    return false;
}

QString LauncherNames::rejection(const ApkLauncher &launcher)
{
    if (!isValidPackageName(launcher.packageName))
        return QStringLiteral("invalid package name");
    if (!isValidClassName(launcher.className))
        return QStringLiteral("invalid class name");
    if (hasControlCharacters(launcher.label))
        return QStringLiteral("control character in label");
    if (hasControlCharacters(launcher.version))
        return QStringLiteral("control character in version");
    for (const QString &type : launcher.mimeTypes) {
        if (hasControlCharacters(type))
            return QStringLiteral("control character in MIME type");
    }
    return QString();
}

QString LauncherNames::desktopEntryFileName(const ApkLauncher &launcher)
{
    const QString prefix =
        launcher.isHandler() ? QStringLiteral("ferryd_handler_") : QStringLiteral("ferryd_launcher_");
    return prefix + escape(launcher.packageName) + QLatin1Char('-') + escape(launcher.className) +
           QStringLiteral(".desktop");
}

QString LauncherNames::childPath(const QString &dir, const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QChar(0)) || QFile::encodeName(name).size() > NAME_MAX)
        return QString();
    return dir + name;
}
