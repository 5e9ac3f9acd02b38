// "novum.audio.control": Android's audio control service for the host's
// audio service (focus on the host's behalf, focus and call state news).
//
// Interface "android.media.INovumAudioControlService":
//   1 requestAudioFocus(int32 focusType)        one-way; logged
//   2 abandonAudioFocus()                       one-way; logged
//   3 setListener(binder listener)              -> 0
// The listener ("android.media.INovumAudioControlListener"):
//   1 onAudioFocusChanged(int32), 2 onCallStateChanged(int32)
// Test control (not Android):
//   0x5eed0001 sendAudioFocusChange(int32 focus)   -> 0, status of the listener call
//   0x5eed0002 sendCallStateChange(int32 state)    -> 0, status of the listener call
//        both call the listener two-way; status -1 without a listener
#include "novumparcel.h"
#include "simservice.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

using namespace ferry::binder;

namespace {

class NovumAudioControlService : public SimService
{
public:
    QStringList interfaces() const override
    {
        return {QStringLiteral("android.media.INovumAudioControlService")};
    }

    Status handle(SimCall &call) override
    {
        switch (call.code) {
        case 1:
            call.args = {QStringLiteral("requestAudioFocus"), call.in.readInt32()};
            call.out.writeNoException();
            return kStatusOk;
        case 2:
            call.args = {QStringLiteral("abandonAudioFocus")};
            call.out.writeNoException();
            return kStatusOk;
        case 3:
            m_listener = call.in.readObject();
            call.args = {QStringLiteral("setListener"), m_listener ? QStringLiteral("binder") : QStringLiteral("null")};
            call.out.writeNoException();
            return kStatusOk;
        case 0x5eed0001:
        case 0x5eed0002: {
            const int32_t value = call.in.readInt32();
            const uint32_t listenerCode = call.code == 0x5eed0001 ? 1 : 2;
            Status status = -1;
            if (m_listener) {
                Client client(m_listener, "android.media.INovumAudioControlListener");
                LocalRequest request = client.newRequest(listenerCode);
                request.writer().appendInt32(value);
                std::unique_ptr<RemoteReply> reply;
                status = client.transactSync(listenerCode, request, &reply);
            }
            call.args = {call.code == 0x5eed0001 ? QStringLiteral("sendAudioFocusChange")
                                                 : QStringLiteral("sendCallStateChange"),
                         value, status};
            call.out.writeNoException();
            call.out.writeInt32(status);
            return kStatusOk;
        }
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
    }

private:
    std::shared_ptr<RemoteObject> m_listener;
};

} // namespace

FERRY_SIM_SERVICE("novum.audio.control", NovumAudioControlService)
