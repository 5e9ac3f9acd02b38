#include "simcallback.h"

#include "transactionlog.h"

#include <ferry/binder/aidl_status.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <QMap>

using namespace ferry::binder;

namespace {
QMap<QString, SimCallbackKind> &kinds()
{
    static QMap<QString, SimCallbackKind> map;
    return map;
}
QString hex(const uint8_t *data, size_t size)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(data), int(size)).toHex());
}
} // namespace

std::shared_ptr<LocalObject> newSimCallbackObject(const std::shared_ptr<ServiceManager> &manager,
                                                  const QString &interface, const QString &label)
{
    if (!manager)
        return nullptr;
    const bool hidl = manager->protocol() == Protocol::Hidl;
    const SimCallbackKind *kind = SimCallbackRegistry::find(interface);
    std::vector<std::string> interfaces;
    for (const QString &name : kind ? kind->interfaces : QStringList{interface})
        interfaces.push_back(name.toStdString());
    SimCallbackKind::Decoder decode = kind ? kind->decode : SimCallbackKind::Decoder();
    return manager->newLocalObject(
        interfaces, [label, hidl, decode](const RemoteRequest &request, uint32_t code, uint32_t flags,
                                          LocalReply *reply) -> Status {
            Reader reader = request.reader();
            QJsonObject line{
                {QStringLiteral("service"), label},
                {QStringLiteral("code"), qint64(code)},
                {QStringLiteral("oneway"), (flags & kFlagOneway) != 0},
                {QStringLiteral("interface"), QString::fromStdString(request.interface())},
                {QStringLiteral("hex"), hex(reader.data() + reader.position(), reader.bytesRemaining())},
            };
            if (decode)
                decode(code, reader, &line);
            TransactionLog::append(line);
            if (reply && hidl)
                reply->writer().appendInt32(0);   // HIDL status OK
            else if (reply)
                AidlStatus::writeNoException(reply->writer());
            return kStatusOk;
        });
}

bool SimCallbackRegistry::add(const QString &interface, SimCallbackKind kind)
{
    kinds().insert(interface, std::move(kind));
    return true;
}

const SimCallbackKind *SimCallbackRegistry::find(const QString &interface)
{
    const auto it = kinds().constFind(interface);
    return it == kinds().constEnd() ? nullptr : &*it;
}
