#include "callcommand.h"

#include "novumparcel.h"
#include "simcallback.h"
#include "simruntime.h"
#include "transactionlog.h"

#include <ferry/binder/aidl_status.h>
#include <ferry/binder/client.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/writer.h>

#include <QJsonArray>

using namespace ferry::binder;

namespace {

QJsonObject failure(const QString &error)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

QString hex(const uint8_t *data, size_t size)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(data), int(size)).toHex());
}

// Asks the object which interface it implements ('_NTF').
QString queryInterface(const std::shared_ptr<RemoteObject> &remote)
{
    Writer empty;
    std::unique_ptr<RemoteReply> reply;
    if (remote->ipc()->transactSync(remote->handle(), kInterfaceTransaction, empty, &reply) != kStatusOk
        || !reply)
        return QString();
    Reader reader = reply->reader();
    std::string name;
    bool isNull = true;
    if (!reader.readString16(&name, &isNull) || isNull)
        return QString();
    return QString::fromStdString(name);
}

// An object handed to the host as a call argument, kept as long as the
// simulator runs.
std::shared_ptr<LocalObject> newCallbackObject(SimRuntime &runtime, const QString &device,
                                               const QString &interface, const QString &label)
{
    std::shared_ptr<LocalObject> object = newSimCallbackObject(runtime.serviceManager(device), interface, label);
    if (object)
        runtime.keep(object);
    return object;
}

bool writeArgument(SimRuntime &runtime, const QString &device, NovumParcel &parcel, Writer &writer,
                   const QJsonValue &value, QString *error)
{
    const QJsonObject arg = value.toObject();
    if (arg.size() != 1) {
        *error = QStringLiteral("each argument is an object with one key");
        return false;
    }
    const QString type = arg.constBegin().key();
    const QJsonValue v = arg.constBegin().value();
    if (type == QLatin1String("s16")) {
        parcel.writeString(v.toString());
    } else if (type == QLatin1String("null_s16")) {
        parcel.writeString(QString());
    } else if (type == QLatin1String("i32")) {
        parcel.writeInt32(int32_t(v.toDouble()));
    } else if (type == QLatin1String("i64")) {
        parcel.writeInt64(int64_t(v.toDouble()));
    } else if (type == QLatin1String("i8")) {
        writer.appendInt8(int8_t(v.toInt()));
    } else if (type == QLatin1String("u32")) {
        writer.appendUint32(uint32_t(v.toDouble()));
    } else if (type == QLatin1String("u64")) {
        writer.appendUint64(uint64_t(v.toDouble()));
    } else if (type == QLatin1String("float")) {
        writer.appendFloat(float(v.toDouble()));
    } else if (type == QLatin1String("hidl_string")) {
        writer.appendHidlString(v.toString().toStdString());
    } else if (type == QLatin1String("hidl_string_vec")) {
        std::vector<std::string> strings;
        for (const QJsonValue &e : v.toArray())
            strings.push_back(e.toString().toStdString());
        writer.appendHidlStringVec(strings);
    } else if (type == QLatin1String("bool")) {
        parcel.writeBool(v.toBool());
    } else if (type == QLatin1String("double")) {
        parcel.writeDouble(v.toDouble());
    } else if (type == QLatin1String("bytes")) {
        parcel.writeByteArray(QByteArray::fromHex(v.toString().toLatin1()));
    } else if (type == QLatin1String("raw")) {
        const QByteArray bytes = QByteArray::fromHex(v.toString().toLatin1());
        writer.appendBytes(bytes.constData(), size_t(bytes.size()));
    } else if (type == QLatin1String("uri")) {
        parcel.writeUri(QUrl(v.toString()));
    } else if (type == QLatin1String("bundle")) {
        parcel.writeBundle(v.toObject().toVariantMap());
    } else if (type == QLatin1String("string_list")) {
        parcel.writeStringList(v.toVariant().toStringList());
    } else if (type == QLatin1String("binder")) {
        if (v.isNull()) {
            writer.appendNullObject();
        } else {
            const QJsonObject callback = v.toObject();
            const QString interface = callback.value(QStringLiteral("interface")).toString();
            if (interface.isEmpty()) {
                *error = QStringLiteral("binder argument needs null or {\"interface\":...}");
                return false;
            }
            const QString label = callback.value(QStringLiteral("name")).toString(QStringLiteral("callback:") + interface);
            const std::shared_ptr<LocalObject> object = newCallbackObject(runtime, device, interface, label);
            if (!object) {
                *error = QStringLiteral("no service manager on %1").arg(device);
                return false;
            }
            writer.appendLocalObject(object);
        }
    } else {
        *error = QStringLiteral("unknown argument type %1").arg(type);
        return false;
    }
    return true;
}

} // namespace

QJsonObject executeCall(SimRuntime &runtime, const QJsonObject &command)
{
    const QString device = command.value(QStringLiteral("device")).toString(QStringLiteral("/dev/vororoveredi"));
    const QString service = command.value(QStringLiteral("service")).toString();
    if (service.isEmpty())
        return failure(QStringLiteral("call needs a service"));
    if (!command.value(QStringLiteral("code")).isDouble())
        return failure(QStringLiteral("call needs a numeric code"));
    const uint32_t code = uint32_t(command.value(QStringLiteral("code")).toDouble());
    const bool oneway = command.value(QStringLiteral("oneway")).toBool();

    const std::shared_ptr<ServiceManager> manager = runtime.serviceManager(device);
    if (!manager)
        return failure(QStringLiteral("no service manager on %1").arg(device));
    Status status = kStatusOk;
    const std::shared_ptr<RemoteObject> remote = manager->getServiceSync(service.toStdString(), &status);
    if (!remote)
        return failure(QStringLiteral("%1 is not registered (status %2)").arg(service).arg(status));

    QString interface = command.value(QStringLiteral("interface")).toString();
    // A HIDL name says its interface: "fqName/instance".
    if (interface.isEmpty() && isHidlDevice(device.toStdString()))
        interface = service.section(QLatin1Char('/'), 0, 0);
    if (interface.isEmpty())
        interface = queryInterface(remote);
    if (interface.isEmpty())
        return failure(QStringLiteral("cannot tell the interface of %1").arg(service));

    Client client(remote, interface.toStdString());
    LocalRequest request = client.newRequest(code);
    NovumParcel parcel(&request);
    for (const QJsonValue &arg : command.value(QStringLiteral("args")).toArray()) {
        QString error;
        if (!writeArgument(runtime, device, parcel, request.writer(), arg, &error))
            return failure(error);
    }

    QJsonObject answer{{QStringLiteral("ok"), true}, {QStringLiteral("interface"), interface}};
    if (oneway) {
        answer.insert(QStringLiteral("status"), client.transactOneway(code, request));
        return answer;
    }
    std::unique_ptr<RemoteReply> reply;
    status = client.transactSync(code, request, &reply);
    answer.insert(QStringLiteral("status"), status);
    if (reply) {
        Reader reader = reply->reader();
        answer.insert(QStringLiteral("hex"), hex(reader.data(), reader.size()));
        QJsonArray ints;
        int32_t word = 0;
        while (reader.readInt32(&word))
            ints.append(word);
        answer.insert(QStringLiteral("ints"), ints);
    }
    return answer;
}
