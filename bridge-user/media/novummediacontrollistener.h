#pragma once

#include "coverartcache.h"
#include "novumbinderconnection.h"
#include "novumbinderrequesthandler.h"

#include <MprisQt/Mpris>

#include <QVariantMap>

class MprisPlayer;
class NovumBinderCallback;

// The active Android media session as the MPRIS player "novum": Android
// ("novum.media.control") reports client changes, playback state,
// transport capabilities and metadata to our listener object; the host's
// MPRIS requests go back to it.
class NovumMediaControlListener : public NovumBinderConnection, private NovumBinderRequestHandler
{
    Q_OBJECT

public:
    // Codes of the Android service.
    enum ServiceCode {
        SetListenerCode = 1,
        PlayCode = 2,
        PauseCode = 3,
        StopCode = 4,
        PreviousCode = 5,
        NextCode = 6,
        LoopStatusCode = 7,
        ShuffleCode = 8,
        SeekCode = 9,
        RateCode = 10,
    };
    // Codes of the listener.
    enum ListenerCode {
        ClientChangeCode = 1,
        PlaybackStateCode = 2,
        TransportControlCode = 3,
        MetadataCode = 4,
    };

    explicit NovumMediaControlListener(QObject *parent = nullptr);
    ~NovumMediaControlListener() override;

    // The player, while Android reports an active client.
    MprisPlayer *player() const { return m_player; }
    CoverArtCache &coverArtCache() { return m_coverArt; }

signals:
    void onClientChangeSig(bool clearing);
    void onPlaybackStateUpdateSig(const QVariantMap &playbackInfo);
    void onTransportControlUpdateSig(int controlFlags);
    void onMetadataUpdateSig(const QVariantMap &metadata);

public slots:
    void onClientChangeSlot(bool clearing);
    void onPlaybackInfoUpdateSlot(const QVariantMap &playbackInfo);
    void onTransportControlUpdateSlot(int controlFlags);
    void onMetadataUpdateSlot(const QVariantMap &metadata);

    void pauseRequestedSlot();
    void playRequestedSlot();
    void playPauseRequestedSlot();
    void stopRequestedSlot();
    void previousRequestedSlot();
    void nextRequestedSlot();
    void loopStatusRequestedSlot(Mpris::LoopStatus loopStatus);
    void shuffleRequestedSlot(bool shuffle);
    void seekRequestedSlot(qlonglong offset);
    void rateRequestedSlot(double rate);

private slots:
    void onServiceConnectionChanged(bool connected);

private:
    bool processRequestFor(const QString &interface, int32_t code, NovumParcel &reader,
                           NovumParcel &writer) override;
    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override;
    void handleMetadata(NovumParcel &reader);
    // Sends a request to Android; the message is logged when it fails.
    void call(ServiceCode code, const char *failure, const std::function<void(NovumParcel &)> &write = {});

    NovumBinderCallback *m_listener = nullptr;
    MprisPlayer *m_player = nullptr;
    CoverArtCache m_coverArt;
};
