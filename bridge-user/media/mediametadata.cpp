#include "mediametadata.h"

#include "novumparcel.h"

#include <MprisQt/Mpris>

#include <limits>

namespace {

// Milliseconds to microseconds, -1 for what has no sound value.
qlonglong toMicroseconds(int64_t ms)
{
    if (ms < 0 || ms > std::numeric_limits<qlonglong>::max() / 1000)
        return -1;
    return qlonglong(ms) * 1000;
}

QString key(Mpris::Metadata m)
{
    return Mpris::metadataToString(m);
}

} // namespace

MediaMetadata MediaMetadata::read(NovumParcel &parcel)
{
    MediaMetadata m;
    m.artist = parcel.readString();
    m.title = parcel.readString();
    m.album = parcel.readString();
    m.durationMs = parcel.readInt64();
    m.positionMs = parcel.readInt64();
    m.trackNumber = parcel.readInt64();
    m.genre = parcel.readString();
    m.albumArtist = parcel.readString();
    m.coverArt = parcel.readString();
    m.artUri = parcel.readString();
    return m;
}

QVariantMap MediaMetadata::toMpris() const
{
    QVariantMap map;
    map.insert(key(Mpris::Artist), QStringList{artist});
    map.insert(key(Mpris::Title), title);
    map.insert(key(Mpris::Album), album);
    // MPRIS clients read the length as a 64-bit integer and the track
    // number as a 32-bit one; text in their place is ignored or rejected.
    const qlonglong length = toMicroseconds(durationMs);
    if (length >= 0)
        map.insert(key(Mpris::Length), length);
    if (trackNumber >= std::numeric_limits<int>::min() && trackNumber <= std::numeric_limits<int>::max())
        map.insert(key(Mpris::TrackNumber), int(trackNumber));
    map.insert(key(Mpris::Genre), QStringList{genre});
    map.insert(key(Mpris::AlbumArtist), QStringList{albumArtist});
    return map;
}

qlonglong MediaMetadata::positionUs() const
{
    return toMicroseconds(positionMs);
}
