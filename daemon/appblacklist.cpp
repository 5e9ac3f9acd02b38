#include "appblacklist.h"

#include <QFile>

namespace {
// A blacklist is a short hand-written list; more than this is not one.
const qint64 kMaxFileBytes = 1024 * 1024;
}

QStringList AppBlacklist::parse(const QByteArray &content)
{
    QStringList packages;
    for (const QByteArray &line : content.split('\n')) {
        const QString name = QString::fromUtf8(line).trimmed();
        if (!name.isEmpty())
            packages << name;
    }
    return packages;
}

QStringList AppBlacklist::read(const QStringList &files)
{
    QStringList packages;
    for (const QString &path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            packages << parse(file.read(kMaxFileBytes));
    }
    return packages;
}
