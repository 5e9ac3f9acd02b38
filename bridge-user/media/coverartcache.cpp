#include "coverartcache.h"

#include "logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

CoverArtCache::CoverArtCache(const QString &directory)
    : m_directory(directory)
{
}

bool CoverArtCache::clear()
{
    bool ok = true;
    QDir dir(m_directory);
    if (dir.exists() && !dir.removeRecursively()) {
        qCCritical(lcMpris) << "Cannot clear icon cache dir at" << m_directory;
        ok = false;
    }
    if (!dir.exists() && !QDir().mkpath(m_directory)) {
        qCCritical(lcMpris) << "Cannot create icon cache dir at" << m_directory;
        ok = false;
    }
    m_lastData.clear();
    m_lastPath.clear();
    return ok;
}

QString CoverArtCache::fileNameFor(const QByteArray &image)
{
    const QByteArray digest = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("novum_mpris_coverArt_") + QString::fromLatin1(digest) + QStringLiteral(".png");
}

QString CoverArtCache::save(const QString &base64)
{
    if (base64 == m_lastData && !m_lastPath.isEmpty())
        return m_lastPath;

    // Four Base64 characters per three bytes, plus padding and line breaks
    // some encoders add: anything much longer cannot decode to an allowed
    // size, so it is not even decoded.
    const qsizetype maxEncoded = qsizetype(kMaxImageBytes) / 3 * 4 + kMaxImageBytes / 38 + 8;
    if (base64.size() > maxEncoded) {
        qCWarning(lcMpris) << "Cover art refused: too large," << base64.size() << "characters";
        return QString();
    }
    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        base64.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.size() > kMaxImageBytes) {
        qCWarning(lcMpris) << "Cover art refused: not Base64 or of a wrong size";
        return QString();
    }

    const QString path = m_directory + QLatin1Char('/') + fileNameFor(decoded.decoded);
    qCCritical(lcMpris) << "Media ConverArt icon path: " << path;
    // The directory is ours; a file already there under this digest name
    // was written by us from the same content.
    if (!QFile::exists(path)) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(decoded.decoded);
        if (!file.commit()) {
            qCCritical(lcMpris) << "Couldn't save cover icon for" << fileNameFor(decoded.decoded);
            m_lastPath.clear();
            return QString();
        }
    }
    if (!m_lastPath.isEmpty() && m_lastPath != path)
        QFile::remove(m_lastPath);
    m_lastData = base64;
    m_lastPath = path;
    return path;
}
