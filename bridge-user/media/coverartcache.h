#pragma once

#include <QString>

// The directory where cover art that Android sends as Base64 data is kept
// as files for MPRIS clients to show. At most one file is kept: the current
// cover. Its name carries a digest of the content, so a new cover gets a new
// art URL (clients cache pictures by URL) and the same cover is not written
// twice. No part of a file name comes from Android.
class CoverArtCache
{
public:
    // Decoded covers larger than this are refused.
    static constexpr int kMaxImageBytes = 4 * 1024 * 1024;

    explicit CoverArtCache(const QString &directory);

    QString directory() const { return m_directory; }

    // Empties the directory (creating it when missing) and forgets the
    // current cover. False when the directory cannot be emptied or made.
    bool clear();

    // The file holding this cover, written unless it is the current one;
    // empty when the data is oversized, not Base64, or cannot be written.
    QString save(const QString &base64);

    // The file name a cover gets ("novum_mpris_coverArt_<digest>.png").
    static QString fileNameFor(const QByteArray &image);

private:
    QString m_directory;
    QString m_lastData;
    QString m_lastPath;
};
