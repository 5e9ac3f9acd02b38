#include "notificationblacklist.h"

#include "logging.h"

#include <QFile>

void NotificationBlacklist::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    parse(QString::fromUtf8(file.readAll()));
}

void NotificationBlacklist::parse(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    // The newline that ends the last line does not start another one.
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    for (const QString &line : qAsConst(lines))
        parseLine(line);
}

void NotificationBlacklist::parseLine(const QString &rawLine)
{
    const QString line = rawLine.trimmed();
    const QStringList parts = line.split(QLatin1Char(':'));
    if (parts.size() == 1 && !parts.first().isEmpty()) {
        qCDebug(lcNotif).nospace().noquote() << "Blacklisting all notifications from " << line;
        m_blocked.insert(line, QStringList());
        return;
    }
    if (parts.size() != 2 || parts.at(0).isEmpty() || parts.at(1).isEmpty()) {
        qCCritical(lcNotif).nospace().noquote() << "Bad blacklist entry: " << line;
        return;
    }
    const QString &package = parts.at(0);
    const QString &exception = parts.at(1);
    const QStringList channels = exception.mid(1).split(QLatin1Char(','));
    if (exception.at(0) == QLatin1Char('+')) {
        qCDebug(lcNotif).nospace().noquote() << "Blacklisting notifications from " << package << "except for "
                                             << channels;
        m_blocked.insert(package, channels);
    } else if (exception.at(0) == QLatin1Char('-')) {
        qCDebug(lcNotif).nospace().noquote() << "Allowing all notifications from " << package << "except for "
                                             << channels;
        m_allowed.insert(package, channels);
    } else {
        qCCritical(lcNotif).nospace().noquote() << "Bad exception syntax in blacklist entry: " << exception;
    }
}

bool NotificationBlacklist::blocks(const QString &package, const QString &channelId) const
{
    const auto blocked = m_blocked.constFind(package);
    if (blocked != m_blocked.constEnd() && !blocked->contains(channelId))
        return true;
    const auto allowed = m_allowed.constFind(package);
    return allowed != m_allowed.constEnd() && allowed->contains(channelId);
}
