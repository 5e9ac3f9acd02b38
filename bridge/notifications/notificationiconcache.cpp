#include "notificationiconcache.h"

#include "logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {
// File names are at most 255 bytes on the file systems the cache lives on.
const int kMaxFileNameBytes = 250;
}

NotificationIconCache::NotificationIconCache(const QString &directory)
    : m_directory(directory)
{
}

QString NotificationIconCache::path(const QString &key) const
{
    QString name = key;
    for (QChar &c : name) {
        if (c == QLatin1Char('|') || c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('_');
    }
    name += QLatin1String(".png");
    // "." and ".." cannot result ("..png" at most), but a key of any length
    // can: hash what would not fit.
    if (QFile::encodeName(name).size() > kMaxFileNameBytes)
        name = QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex())
               + QLatin1String(".png");
    return m_directory + QLatin1Char('/') + name;
}

QString NotificationIconCache::save(const QString &key, const QString &base64)
{
    const QString file = path(key);
    qCDebug(lcNotif) << "Small icon path: " << file;
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray::fromBase64(base64.toLatin1())) < 0 || !out.commit())
        return QString();
    return file;
}

void NotificationIconCache::remove(const QString &key)
{
    QFile::remove(path(key));
}

void NotificationIconCache::clear()
{
    QDir dir(m_directory);
    if (dir.exists() && !dir.removeRecursively())
        qCDebug(lcNotif) << "Cannot clear icon cache dir at" << m_directory;
    if (!dir.exists() && !QDir().mkpath(m_directory))
        qCCritical(lcNotif) << "Cannot create icon cache dir at" << m_directory;
}
