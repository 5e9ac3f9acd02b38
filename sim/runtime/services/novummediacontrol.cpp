// "novum.media.control": Android's media session service for the host's
// MPRIS bridge.
//
// Interface "android.media.INovumMediaControlService", every call -> 0:
//   1 setListener(binder listener)
//   2 play  3 pause  4 stop  5 previous  6 next
//   7 setLoopStatus(int32)  8 setShuffle(int32)  9 seek(int64 offsetUs)
//  10 setRate(double)
// The listener ("android.media.INovumMediaControlListener"):
//   1 onClientChange(int32 clearing)
//   2 onPlaybackStateUpdate(int32 state, int32 shuffle, int32 repeat)
//   3 onTransportControlUpdate(int32 flags)
//   4 onMetadataUpdate(s16 artist, s16 title, s16 album, int64 durationMs,
//        int64 positionMs, int64 trackNumber, s16 genre, s16 albumArtist,
//        s16 coverArtBase64, s16 artUri)
// Test control (not Android): 0x5eed0001..0x5eed0004 take the arguments of
// listener codes 1..4 and pass them on two-way -> 0, status of the listener
// call (-1 without a listener). 0x5eed0005 (int32 count, then the metadata
// of code 4) sends count metadata updates, the title numbered "title #i"
// -> 0, status of the last call, microseconds for all of them.
#include "novumparcel.h"
#include "simservice.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

#include <QElapsedTimer>

using namespace ferry::binder;

namespace {

const char kListener[] = "android.media.INovumMediaControlListener";

struct Metadata
{
    QString artist, title, album;
    int64_t duration = 0, position = 0, track = 0;
    QString genre, albumArtist, cover, artUri;

    void read(NovumParcel &in)
    {
        artist = in.readString();
        title = in.readString();
        album = in.readString();
        duration = in.readInt64();
        position = in.readInt64();
        track = in.readInt64();
        genre = in.readString();
        albumArtist = in.readString();
        cover = in.readString();
        artUri = in.readString();
    }
    void write(NovumParcel &out, const QString &titleText) const
    {
        out.writeString(artist);
        out.writeString(titleText);
        out.writeString(album);
        out.writeInt64(duration);
        out.writeInt64(position);
        out.writeInt64(track);
        out.writeString(genre);
        out.writeString(albumArtist);
        out.writeString(cover);
        out.writeString(artUri);
    }
    QJsonArray log() const
    {
        return {artist, title, album, double(duration), double(position), double(track), genre, albumArtist,
                int(cover.size()), artUri};
    }
};

class NovumMediaControlService : public SimService
{
public:
    QStringList interfaces() const override
    {
        return {QStringLiteral("android.media.INovumMediaControlService")};
    }

    Status handle(SimCall &call) override
    {
        static const char *const names[] = {"",     "setListener", "play",          "pause",      "stop", "previous",
                                            "next", "setLoopStatus", "setShuffle", "seek",      "setRate"};
        switch (call.code) {
        case 1:
            m_listener = call.in.readObject();
            call.args = {QStringLiteral("setListener"), m_listener ? QStringLiteral("binder") : QStringLiteral("null")};
            break;
        case 2: case 3: case 4: case 5: case 6:
            call.args = {QLatin1String(names[call.code])};
            break;
        case 7: case 8:
            call.args = {QLatin1String(names[call.code]), call.in.readInt32()};
            break;
        case 9:
            call.args = {QLatin1String(names[call.code]), double(call.in.readInt64())};
            break;
        case 10:
            call.args = {QLatin1String(names[call.code]), call.in.readDouble()};
            break;
        case 0x5eed0001: case 0x5eed0003: {
            const int32_t value = call.in.readInt32();
            const Status status = send(call.code & 0xf, [&](NovumParcel &p) { p.writeInt32(value); });
            call.args = {call.code == 0x5eed0001 ? QStringLiteral("sendClientChange") : QStringLiteral("sendTransportControls"),
                         value, status};
            call.out.writeNoException();
            call.out.writeInt32(status);
            return kStatusOk;
        }
        case 0x5eed0002: {
            const int32_t state = call.in.readInt32(), shuffle = call.in.readInt32(), repeat = call.in.readInt32();
            const Status status = send(2, [&](NovumParcel &p) {
                p.writeInt32(state);
                p.writeInt32(shuffle);
                p.writeInt32(repeat);
            });
            call.args = {QStringLiteral("sendPlaybackState"), state, shuffle, repeat, status};
            call.out.writeNoException();
            call.out.writeInt32(status);
            return kStatusOk;
        }
        case 0x5eed0004: case 0x5eed0005: {
            const int32_t count = call.code == 0x5eed0005 ? call.in.readInt32() : 1;
            Metadata m;
            m.read(call.in);
            QElapsedTimer timer;
            timer.start();
            Status status = -1;
            for (int32_t i = 0; i < count; ++i) {
                const QString title = call.code == 0x5eed0005 ? m.title + QStringLiteral(" #%1").arg(i) : m.title;
                status = send(4, [&](NovumParcel &p) { m.write(p, title); });
                if (status != 0)
                    break;
            }
            const qint64 us = timer.nsecsElapsed() / 1000;
            call.args = {QStringLiteral("sendMetadata"), m.log(), count, status};
            call.out.writeNoException();
            call.out.writeInt32(status);
            call.out.writeInt64(us);
            return kStatusOk;
        }
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
        call.out.writeNoException();
        return kStatusOk;
    }

private:
    template<typename Write>
    Status send(uint32_t code, Write write)
    {
        if (!m_listener)
            return -1;
        Client client(m_listener, kListener);
        LocalRequest request = client.newRequest(code);
        NovumParcel out(&request.writer());
        write(out);
        std::unique_ptr<RemoteReply> reply;
        return client.transactSync(code, request, &reply);
    }

    std::shared_ptr<RemoteObject> m_listener;
};

} // namespace

FERRY_SIM_SERVICE("novum.media.control", NovumMediaControlService)
