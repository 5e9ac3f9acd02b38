#include "novummediacontrollistener.h"

#include "logging.h"
#include "mediametadata.h"
#include "novumbindercallback.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"

#include <MprisQt/MprisPlayer>

#include <QStandardPaths>

namespace {

const char kServiceInterface[] = "android.media.INovumMediaControlService";
const char kListenerInterface[] = "android.media.INovumMediaControlListener";
const char kTransactionFailed[] = "Failed to call NovumMediaControlService transaction";

// Android's PlaybackState action bits.
constexpr int kActionPause = 2;
constexpr int kActionPlay = 4;
constexpr int kActionSeekTo = 256;
constexpr int kActionPlayPause = 512;
constexpr int kActionPrevious = 16;
constexpr int kActionNext = 32;

QString coverArtDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation)
        + QStringLiteral("/ferryd-bridge-user/mpris/coverArts");
}

} // namespace

NovumMediaControlListener::NovumMediaControlListener(QObject *parent)
    : NovumBinderConnection(QStringLiteral("novum.media.control"), QString::fromLatin1(kServiceInterface), true,
                            parent)
    , m_coverArt(coverArtDirectory())
{
    // Direct: requests come in on the main loop already, and a queued
    // client change could be overtaken by the position of the metadata
    // that follows it.
    connect(this, &NovumMediaControlListener::onClientChangeSig, this,
            &NovumMediaControlListener::onClientChangeSlot);
    connect(this, &NovumMediaControlListener::onPlaybackStateUpdateSig, this,
            &NovumMediaControlListener::onPlaybackInfoUpdateSlot);
    connect(this, &NovumMediaControlListener::onTransportControlUpdateSig, this,
            &NovumMediaControlListener::onTransportControlUpdateSlot);
    connect(this, &NovumMediaControlListener::onMetadataUpdateSig, this,
            &NovumMediaControlListener::onMetadataUpdateSlot);
    connect(this, &NovumBinderConnection::connectionChanged, this,
            &NovumMediaControlListener::onServiceConnectionChanged);
    // A runtime that was up already got connected while the base was built.
    if (isConnected())
        onServiceConnectionChanged(true);
}

NovumMediaControlListener::~NovumMediaControlListener()
{
    disconnect(this, &NovumBinderConnection::connectionChanged, this, nullptr);
    delete m_listener;
    delete m_player;
}

void NovumMediaControlListener::onServiceConnectionChanged(bool connected)
{
    delete m_listener;
    m_listener = nullptr;
    if (!connected)
        return;
    m_listener = newCallback(QString::fromLatin1(kListenerInterface), this);
    if (!m_listener || !m_listener->localObject()) {
        qCCritical(lcMpris) << "Failed to create local listener object";
        return;
    }
    call(SetListenerCode, "Failed to set listener for mpris integration",
         [this](NovumParcel &p) { p.writeLocalObject(m_listener->localObject()); });
}

bool NovumMediaControlListener::processRequestFor(const QString &interface, int32_t code, NovumParcel &reader,
                                                  NovumParcel &writer)
{
    if (interface != QLatin1String(kListenerInterface))
        return true;
    return processRequest(code, reader, writer);
}

bool NovumMediaControlListener::processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer)
{
    Q_UNUSED(writer);
    switch (code) {
    case ClientChangeCode:
        emit onClientChangeSig(reader.readInt32() != 0);
        return true;
    case PlaybackStateCode: {
        QVariantMap info;
        info.insert(QStringLiteral("playback_state"), reader.readInt32());
        info.insert(QStringLiteral("shuffle_status"), reader.readInt32());
        info.insert(QStringLiteral("loop_status"), reader.readInt32());
        info.insert(QStringLiteral("playback_speed"), 1.0);
        emit onPlaybackStateUpdateSig(info);
        return true;
    }
    case TransportControlCode:
        emit onTransportControlUpdateSig(reader.readInt32());
        return true;
    case MetadataCode:
        handleMetadata(reader);
        return true;
    default:
        return false;
    }
}

void NovumMediaControlListener::handleMetadata(NovumParcel &reader)
{
    const MediaMetadata metadata = MediaMetadata::read(reader);
    QVariantMap map = metadata.toMpris();
    const qlonglong position = metadata.positionUs();
    if (m_player && position >= 0)
        m_player->setPosition(position);
    if (!metadata.artUri.isEmpty()) {
        map.insert(Mpris::metadataToString(Mpris::ArtUrl), metadata.artUri);
    } else if (!metadata.coverArt.isEmpty()) {
        const QString path = m_coverArt.save(metadata.coverArt);
        if (!path.isEmpty())
            map.insert(Mpris::metadataToString(Mpris::ArtUrl), QStringLiteral("file://") + path);
    }
    emit onMetadataUpdateSig(map);
}

void NovumMediaControlListener::onClientChangeSlot(bool clearing)
{
    delete m_player;
    m_player = nullptr;
    m_coverArt.clear();
    if (clearing)
        return;
    m_player = new MprisPlayer(this);
    m_player->setServiceName(QStringLiteral("novum"));
    m_player->setCanControl(true);
    connect(m_player, &MprisPlayer::pauseRequested, this, &NovumMediaControlListener::pauseRequestedSlot);
    connect(m_player, &MprisPlayer::playRequested, this, &NovumMediaControlListener::playRequestedSlot);
    connect(m_player, &MprisPlayer::playPauseRequested, this, &NovumMediaControlListener::playPauseRequestedSlot);
    connect(m_player, &MprisPlayer::stopRequested, this, &NovumMediaControlListener::stopRequestedSlot);
    connect(m_player, &MprisPlayer::previousRequested, this, &NovumMediaControlListener::previousRequestedSlot);
    connect(m_player, &MprisPlayer::nextRequested, this, &NovumMediaControlListener::nextRequestedSlot);
    connect(m_player, &MprisPlayer::loopStatusRequested, this, &NovumMediaControlListener::loopStatusRequestedSlot);
    connect(m_player, &MprisPlayer::shuffleRequested, this, &NovumMediaControlListener::shuffleRequestedSlot);
    connect(m_player, &MprisPlayer::seekRequested, this, &NovumMediaControlListener::seekRequestedSlot);
    connect(m_player, &MprisPlayer::rateRequested, this, &NovumMediaControlListener::rateRequestedSlot);
}

void NovumMediaControlListener::onPlaybackInfoUpdateSlot(const QVariantMap &playbackInfo)
{
    if (!m_player)
        return;
    switch (playbackInfo.value(QStringLiteral("playback_state")).toInt()) {
    case 3:
        m_player->setPlaybackStatus(Mpris::Playing);
        break;
    case 2:
        m_player->setPlaybackStatus(Mpris::Paused);
        break;
    case 1:
        m_player->setPlaybackStatus(Mpris::Stopped);
        break;
    default:
        break;
    }
    const int shuffle = playbackInfo.value(QStringLiteral("shuffle_status")).toInt();
    if (shuffle == 0 || shuffle == 1)
        m_player->setShuffle(shuffle == 1);
    switch (playbackInfo.value(QStringLiteral("loop_status")).toInt()) {
    case 0:
        m_player->setLoopStatus(Mpris::None);
        break;
    case 1:
        m_player->setLoopStatus(Mpris::Track);
        break;
    case 2:
        m_player->setLoopStatus(Mpris::Playlist);
        break;
    default:
        m_player->setLoopStatus(Mpris::InvalidLoopStatus);
        break;
    }
}

void NovumMediaControlListener::onTransportControlUpdateSlot(int controlFlags)
{
    if (!m_player)
        return;
    m_player->setCanGoPrevious(controlFlags & kActionPrevious);
    m_player->setCanGoNext(controlFlags & kActionNext);
    m_player->setCanPlay(controlFlags & (kActionPlay | kActionPlayPause));
    m_player->setCanPause(controlFlags & (kActionPause | kActionPlayPause));
    m_player->setCanSeek(controlFlags & kActionSeekTo);
}

void NovumMediaControlListener::onMetadataUpdateSlot(const QVariantMap &metadata)
{
    if (m_player)
        m_player->setMetadata(metadata);
}

void NovumMediaControlListener::call(ServiceCode code, const char *failure,
                                     const std::function<void(NovumParcel &)> &write)
{
    // Requests while Android's service is away go nowhere.
    if (!isConnected())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(code, false));
    int status = -1;
    if (t) {
        if (write)
            write(t->writer());
        status = t->execute();
    }
    if (status != 0)
        qCCritical(lcMpris) << failure;
}

void NovumMediaControlListener::playRequestedSlot()
{
    call(PlayCode, kTransactionFailed);
}

// Android has no toggle; the media key and most MPRIS clients send only
// this, so it becomes whichever of the two the shown state calls for.
void NovumMediaControlListener::playPauseRequestedSlot()
{
    if (m_player && m_player->playbackStatus() == Mpris::Playing)
        pauseRequestedSlot();
    else
        playRequestedSlot();
}

void NovumMediaControlListener::pauseRequestedSlot()
{
    call(PauseCode, kTransactionFailed);
}

void NovumMediaControlListener::stopRequestedSlot()
{
    call(StopCode, kTransactionFailed);
}

void NovumMediaControlListener::previousRequestedSlot()
{
    call(PreviousCode, kTransactionFailed);
}

void NovumMediaControlListener::nextRequestedSlot()
{
    call(NextCode, kTransactionFailed);
}

void NovumMediaControlListener::loopStatusRequestedSlot(Mpris::LoopStatus loopStatus)
{
    const int32_t value = (loopStatus == Mpris::Track || loopStatus == Mpris::Playlist) ? int32_t(loopStatus) : 0;
    call(LoopStatusCode, "Failed to call NovumMediaControlService loopStatusRequestedSlot",
         [value](NovumParcel &p) { p.writeInt32(value); });
}

void NovumMediaControlListener::shuffleRequestedSlot(bool shuffle)
{
    call(ShuffleCode, "Failed to call NovumMediaControlService shuffleRequestedSlot",
         [shuffle](NovumParcel &p) { p.writeInt32(shuffle ? 1 : 0); });
}

void NovumMediaControlListener::seekRequestedSlot(qlonglong offset)
{
    call(SeekCode, "Failed to call NovumMediaControlService seekRequestedSlot",
         [offset](NovumParcel &p) { p.writeInt64(offset); });
}

void NovumMediaControlListener::rateRequestedSlot(double rate)
{
    call(RateCode, "Failed to call NovumMediaControlService rateRequestedSlot",
         [rate](NovumParcel &p) { p.writeDouble(rate); });
}
