#include "mceservice.h"

#include "displayblanking.h"

#include <ferry/binder/remote_request.h>

using namespace ferry::binder;

namespace {
constexpr uint32_t kSetPreventBlanking = 1;
}

MceService::MceService(QObject *parent)
    : MceService(nullptr, QStringLiteral("/dev/vororoveredi"), parent)
{
}

MceService::MceService(DisplayBlanking *blanking, const QString &device, QObject *parent)
    : NovumBinderService(QStringLiteral("novum.mce"), QStringLiteral("INovumMce"), device, parent)
    , m_blanking(blanking ? blanking : new DisplayBlanking(this))
{
    if (blanking)
        blanking->setParent(this);
}

MceService::~MceService() = default;

Status MceService::onTransact(const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *)
{
    if (code != kSetPreventBlanking)
        return kStatusOk;
    Reader reader = request.reader();
    int32_t prevent = 0;
    if (!reader.readInt32(&prevent))
        return kStatusFailed;
    m_blanking->setPreventBlanking(prevent != 0);
    return kStatusOk;
}
