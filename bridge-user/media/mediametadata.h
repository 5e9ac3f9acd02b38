#pragma once

#include <QString>
#include <QVariantMap>

#include <cstdint>

class NovumParcel;

// What an Android media session reports about its current item, in the
// order Android sends it, and its form as MPRIS metadata.
struct MediaMetadata
{
    QString artist;
    QString title;
    QString album;
    int64_t durationMs = 0;
    int64_t positionMs = 0;
    int64_t trackNumber = 0;
    QString genre;
    QString albumArtist;
    QString coverArt;   // Base64 image, possibly empty
    QString artUri;     // takes precedence over coverArt when not empty

    static MediaMetadata read(NovumParcel &parcel);

    // The MPRIS map without the art URL (which needs the cover-art cache).
    // Length is in microseconds; values Android cannot mean (negative,
    // overflowing) are left out rather than sent wrong.
    QVariantMap toMpris() const;
    // Position in microseconds, or -1 when it cannot be one.
    qlonglong positionUs() const;
};
