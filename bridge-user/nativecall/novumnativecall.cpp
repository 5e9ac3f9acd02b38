#include "novumnativecall.h"

#include "logging.h"
#include "nativecallmessage.h"
#include "novumparcel.h"

#include <ferry/binder/remote_request.h>

using namespace ferry::binder;

namespace {

constexpr uint32_t kOpenUrl = 1;
constexpr uint32_t kCreateContact = 2;

bool fits(const QStringList &list)
{
    if (list.size() > NovumNativeCall::kMaxListEntries)
        return false;
    for (const QString &s : list) {
        if (s.size() > NovumNativeCall::kMaxFieldLength)
            return false;
    }
    return true;
}

} // namespace

NovumNativeCall::NovumNativeCall(QObject *parent)
    : NovumNativeCall(QDBusConnection::sessionBus(), QStringLiteral("/dev/vororoveredi"), parent)
{
}

NovumNativeCall::NovumNativeCall(const QDBusConnection &session, const QString &device, QObject *parent)
    : NovumBinderService(QStringLiteral("novum.NativeCall"), QStringLiteral("novum.native_call.INovumNativeCall"),
                         device, parent)
    , m_session(session)
{
    registerContactType();
}

NovumNativeCall::~NovumNativeCall() = default;

// The host application may take its time to answer (or start); the bridge
// has one thread, so calls go out without waiting and replies are dropped.
Status NovumNativeCall::onTransact(const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *)
{
    NovumParcel parcel(&request);
    QDBusMessage message;
    if (code == kOpenUrl) {
        const QString url = parcel.readString();
        if (url.isNull() || parcel.isMalformed() || url.size() > kMaxUrlLength) {
            qCWarning(lcService) << "novum.NativeCall: refusing a missing, malformed or oversized URL";
            return kStatusOk;
        }
        message = NativeCallMessage::openUrl(url);
    } else if (code == kCreateContact) {
        const QStringList phoneNumbers = parcel.readStringList();
        const QStringList emailAddresses = parcel.readStringList();
        const QStringList accountUris = parcel.readStringList();
        const QString nickname = parcel.readString();
        const QString postal = parcel.readString();
        const QString note = parcel.readString();
        if (parcel.isMalformed() || !fits(phoneNumbers) || !fits(emailAddresses) || !fits(accountUris)
            || !fits({nickname, postal, note})) {
            qCWarning(lcService) << "novum.NativeCall: refusing a malformed or oversized contact";
            return kStatusOk;
        }
        message = NativeCallMessage::createContact(
            makeContact(phoneNumbers, emailAddresses, accountUris, nickname, postal, note));
    } else {
        return kStatusOk;
    }
    if (!m_session.send(message))
        qCWarning(lcService) << "novum.NativeCall: cannot send" << message.member() << "on the session bus";
    return kStatusOk;
}
