#include "wifistack.h"

#include "simcallback.h"

#include <ferry/binder/client.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/writer.h>

#include <QJsonDocument>

#include <cstdio>
#include <cstring>

using namespace ferry::binder;

namespace {

const char kHalDevice[] = "/dev/hwvororoveredi";
const char kAndroidDevice[] = "/dev/vororoveredi";
const int kMaxSteps = 4096;
// Nothing the host sends back here is anywhere near this long.
const size_t kMaxVector = 4096;

struct Named {
    const char *name;
    const char *device;
    const char *service;   // empty: an object kept from an earlier reply
    const char *interface;
};

const Named kNamed[] = {
    {"wifi", kHalDevice, "android.hardware.wifi@1.0::IWifi/default_novum", "android.hardware.wifi@1.0::IWifi"},
    {"chip", kHalDevice, "", "android.hardware.wifi@1.0::IWifiChip"},
    {"sta", kHalDevice, "", "android.hardware.wifi@1.0::IWifiStaIface"},
    {"rtt", kHalDevice, "", "android.hardware.wifi@1.0::IWifiRttController"},
    {"supplicant", kHalDevice, "android.hardware.wifi.supplicant@1.0::ISupplicant/default_novum",
     "android.hardware.wifi.supplicant@1.0::ISupplicant"},
    {"staIface", kHalDevice, "", "android.hardware.wifi.supplicant@1.0::ISupplicantStaIface"},
    {"network", kHalDevice, "", "android.hardware.wifi.supplicant@1.0::ISupplicantStaNetwork"},
    {"wificond", kAndroidDevice, "wificond", "android.net.wifi.IWificond"},
    {"clientInterface", kAndroidDevice, "", "android.net.wifi.IClientInterface"},
    {"scanner", kAndroidDevice, "", "android.net.wifi.IWifiScannerImpl"},
};

const Named *named(const QString &name)
{
    for (const Named &n : kNamed) {
        if (name == QLatin1String(n.name))
            return &n;
    }
    return nullptr;
}

template <typename T>
T at(const void *data, size_t offset)
{
    T value;
    std::memcpy(&value, static_cast<const char *>(data) + offset, sizeof value);
    return value;
}

// Reads the buffer that the kernel must have hung at |offset| of |parent|
// (a hidl_string's or hidl_vec's data): its pointer there must be this
// buffer and its length or count must match.
bool readChild(Reader &in, const void *parent, size_t offset, size_t elementSize, const void **data, size_t *count,
               bool isString, QString *error)
{
    size_t size = 0;
    if (!in.readBufferObject(data, &size)) {
        *error = QStringLiteral("child buffer at %1 missing").arg(offset);
        return false;
    }
    const uint32_t declared = at<uint32_t>(parent, offset + 8);
    const size_t expected = isString ? declared + 1 : size_t(declared) * elementSize;
    if (size != expected || (size && at<uint64_t>(parent, offset) != reinterpret_cast<uint64_t>(*data))
        || declared > kMaxVector || (isString && static_cast<const char *>(*data)[size - 1] != '\0')) {
        *error = QStringLiteral("child buffer at %1 is not where its parent points").arg(offset);
        return false;
    }
    *count = declared;
    return true;
}

bool readString(Reader &in, const void *parent, size_t offset, QString *out, QString *error)
{
    const void *chars = nullptr;
    size_t length = 0;
    if (!readChild(in, parent, offset, 1, &chars, &length, true, error))
        return false;
    *out = QString::fromUtf8(static_cast<const char *>(chars), int(length));
    return true;
}

// A top-level record (buffer object) of exactly |size| bytes.
bool readRecord(Reader &in, size_t size, const void **data, QString *error)
{
    size_t got = 0;
    if (!in.readBufferObject(data, &got) || got != size) {
        *error = QStringLiteral("record of %1 bytes expected, got %2").arg(size).arg(got);
        return false;
    }
    return true;
}

bool allZero(const void *data, size_t size, size_t skipFrom = 0, size_t skipTo = 0)
{
    for (size_t i = 0; i < size; ++i) {
        if ((i < skipFrom || i >= skipTo) && static_cast<const uint8_t *>(data)[i])
            return false;
    }
    return true;
}

// vec<ChipMode>, every level checked against its parent.
bool readChipModes(Reader &in, QJsonValue *out, QString *error)
{
    const void *header = nullptr, *modes = nullptr;
    size_t count = 0;
    if (!readRecord(in, 16, &header, error) || !readChild(in, header, 0, 24, &modes, &count, false, error))
        return false;
    QJsonArray list;
    for (size_t m = 0; m < count; ++m) {
        const void *mode = static_cast<const char *>(modes) + 24 * m;
        const void *combinations = nullptr;
        size_t combinationCount = 0;
        if (!readChild(in, mode, 8, 16, &combinations, &combinationCount, false, error))
            return false;
        QJsonArray combinationList;
        for (size_t c = 0; c < combinationCount; ++c) {
            const void *combination = static_cast<const char *>(combinations) + 16 * c;
            const void *limits = nullptr;
            size_t limitCount = 0;
            if (!readChild(in, combination, 0, 24, &limits, &limitCount, false, error))
                return false;
            QJsonArray limitList;
            for (size_t l = 0; l < limitCount; ++l) {
                const void *limit = static_cast<const char *>(limits) + 24 * l;
                const void *types = nullptr;
                size_t typeCount = 0;
                if (!readChild(in, limit, 0, 4, &types, &typeCount, false, error))
                    return false;
                QJsonArray typeList;
                for (size_t t = 0; t < typeCount; ++t)
                    typeList.append(qint64(at<uint32_t>(types, 4 * t)));
                limitList.append(QJsonObject{{QStringLiteral("types"), typeList},
                                             {QStringLiteral("maxIfaces"), qint64(at<uint32_t>(limit, 16))}});
            }
            combinationList.append(QJsonObject{{QStringLiteral("limits"), limitList}});
        }
        list.append(QJsonObject{{QStringLiteral("id"), qint64(at<uint32_t>(mode, 0))},
                                {QStringLiteral("combinations"), combinationList}});
    }
    *out = list;
    return true;
}

// One reply value of the given kind.
bool readValue(const QString &kind, Reader &in, QJsonValue *out, std::shared_ptr<RemoteObject> *object,
               QString *error)
{
    const void *data = nullptr;
    size_t size = 0;
    if (kind == QLatin1String("status")) {   // WifiStatus, SupplicantStatus
        QString description;
        if (!readRecord(in, 24, &data, error) || !readString(in, data, 8, &description, error))
            return false;
        *out = QJsonObject{{QStringLiteral("code"), qint64(at<uint32_t>(data, 0))},
                           {QStringLiteral("description"), description}};
        return true;
    }
    if (kind == QLatin1String("u32") || kind == QLatin1String("i32")) {
        int32_t v = 0;
        if (!in.readInt32(&v))
            return false;
        *out = kind == QLatin1String("u32") ? QJsonValue(qint64(uint32_t(v))) : QJsonValue(v);
        return true;
    }
    if (kind == QLatin1String("bool")) {   // HIDL: one byte padded to 4
        int8_t v = 0;
        if (!in.readInt8(&v))
            return false;
        *out = v != 0;
        return true;
    }
    if (kind == QLatin1String("string")) {
        std::string s;
        if (!in.readHidlString(&s))
            return false;
        *out = QString::fromStdString(s);
        return true;
    }
    if (kind == QLatin1String("vec32") || kind == QLatin1String("vec")) {
        const size_t elementSize = kind == QLatin1String("vec32") ? 4 : 1;
        if (!readRecord(in, 16, &data, error) || !readChild(in, data, 0, elementSize, &data, &size, false, error))
            return false;
        QJsonArray list;
        for (size_t i = 0; i < size; ++i)
            list.append(elementSize == 4 ? qint64(at<uint32_t>(data, 4 * i)) : qint64(at<uint8_t>(data, i)));
        *out = list;
        return true;
    }
    if (kind == QLatin1String("object")) {
        if (!in.readObject(object))
            return false;
        *out = *object ? QStringLiteral("object") : QStringLiteral("null");
        return true;
    }
    if (kind == QLatin1String("mac")) {
        if (!readRecord(in, 6, &data, error))
            return false;
        *out = QString::fromLatin1(QByteArray(static_cast<const char *>(data), 6).toHex(':'));
        return true;
    }
    if (kind == QLatin1String("record16")) {   // StaBackgroundScanCapabilities
        if (!readRecord(in, 16, &data, error))
            return false;
        *out = QJsonObject{{QStringLiteral("zero"), allZero(data, 16)}};
        return true;
    }
    if (kind == QLatin1String("chipmodes"))
        return readChipModes(in, out, error);
    if (kind == QLatin1String("debuginfo")) {   // ChipDebugInfo: two strings
        QString driver, firmware;
        if (!readRecord(in, 32, &data, error) || !readString(in, data, 0, &driver, error)
            || !readString(in, data, 16, &firmware, error))
            return false;
        *out = QJsonArray{driver, firmware};
        return true;
    }
    if (kind == QLatin1String("linkstats")) {   // StaLinkLayerStats, radios at 136
        const void *radios = nullptr;
        if (!readRecord(in, 160, &data, error) || !readChild(in, data, 136, 1, &radios, &size, false, error))
            return false;
        *out = QJsonObject{{QStringLiteral("zero"), allZero(data, 160, 136, 152)},
                           {QStringLiteral("radios"), qint64(size)}};
        return true;
    }
    if (kind == QLatin1String("ifaceinfos")) {   // vec<IfaceInfo {uint32 type; string name}>
        const void *infos = nullptr;
        if (!readRecord(in, 16, &data, error) || !readChild(in, data, 0, 24, &infos, &size, false, error))
            return false;
        QJsonArray list;
        for (size_t i = 0; i < size; ++i) {
            const void *info = static_cast<const char *>(infos) + 24 * i;
            QString name;
            if (!readString(in, info, 8, &name, error))
                return false;
            list.append(QJsonObject{{QStringLiteral("type"), qint64(at<uint32_t>(info, 0))}, {QStringLiteral("name"), name}});
        }
        *out = list;
        return true;
    }
    if (kind == QLatin1String("ints")) {   // AIDL int[]: count, then the values
        int32_t count = 0;
        if (!in.readInt32(&count) || count < -1 || size_t(count + 1) > kMaxVector)
            return false;
        QJsonArray list;
        for (int32_t i = 0; i < count; ++i) {
            int32_t v = 0;
            if (!in.readInt32(&v))
                return false;
            list.append(v);
        }
        *out = count < 0 ? QJsonValue() : QJsonValue(list);
        return true;
    }
    if (kind == QLatin1String("abool")) {   // AIDL boolean: int32
        int32_t v = 0;
        if (!in.readInt32(&v))
            return false;
        *out = v != 0;
        return true;
    }
    *error = QStringLiteral("unknown reply kind %1").arg(kind);
    return false;
}

} // namespace

WifiStack &WifiStack::instance()
{
    static WifiStack stack;
    return stack;
}

QJsonObject WifiStack::run(const QJsonObject &command)
{
    const QJsonArray steps = command.value(QStringLiteral("steps")).toArray();
    if (steps.isEmpty() || steps.size() > kMaxSteps)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("steps: 1 to 4096")}};
    QJsonArray results;
    for (const QJsonValue &s : steps)
        results.append(step(s.toObject()));
    return {{QStringLiteral("ok"), true}, {QStringLiteral("results"), results}};
}

QJsonObject WifiStack::step(const QJsonObject &s)
{
    const QString op = s.value(QStringLiteral("op")).toString(QStringLiteral("call"));
    if (op == QLatin1String("call"))
        return call(s);
    if (op == QLatin1String("forget")) {   // drop what this process holds
        m_objects.clear();
        m_callbacks.clear();
        return {{QStringLiteral("ok"), true}};
    }
    QJsonArray steps = wifiHalSteps(op, s);
    if (steps.isEmpty())
        steps = supplicantSteps(op, s);
    if (steps.isEmpty())
        steps = wificondSteps(op, s);
    if (steps.isEmpty())
        return {{QStringLiteral("error"), QStringLiteral("unknown op %1").arg(op)}};
    QJsonArray calls;
    bool ok = true;
    for (const QJsonValue &c : steps) {
        const QJsonObject result = call(c.toObject());
        ok = ok && result.value(QStringLiteral("status")).toInt(-1) == 0 && !result.contains(QStringLiteral("error"));
        calls.append(result);
    }
    return {{QStringLiteral("op"), op}, {QStringLiteral("ok"), ok}, {QStringLiteral("calls"), calls}};
}

std::shared_ptr<RemoteObject> WifiStack::target(const QString &name, QString *interface, QString *error)
{
    const Named *n = named(name);
    if (!n) {
        *error = QStringLiteral("unknown target %1").arg(name);
        return nullptr;
    }
    if (interface->isEmpty())
        *interface = QString::fromLatin1(n->interface);
    if (!*n->service) {
        std::shared_ptr<RemoteObject> kept = m_objects.value(name);
        if (!kept)
            *error = QStringLiteral("no %1 yet").arg(name);
        return kept;
    }
    const std::shared_ptr<ServiceManager> manager = ServiceManager::get(n->device);
    std::shared_ptr<RemoteObject> remote = manager ? manager->getServiceSync(n->service) : nullptr;
    if (!remote)
        *error = QStringLiteral("%1 is not registered").arg(QLatin1String(n->service));
    return remote;
}

QJsonObject WifiStack::call(const QJsonObject &s)
{
    const QString targetName = s.value(QStringLiteral("target")).toString();
    QString interface = s.value(QStringLiteral("interface")).toString();
    QString error;
    const std::shared_ptr<RemoteObject> remote = target(targetName, &interface, &error);
    if (!remote)
        return {{QStringLiteral("error"), error}};
    const uint32_t code = uint32_t(s.value(QStringLiteral("code")).toDouble());
    const bool oneway = s.value(QStringLiteral("oneway")).toBool();
    const char *device = named(targetName)->device;

    Client client(remote, interface.toStdString());
    LocalRequest request = client.newRequest(code);
    Writer &w = request.writer();
    for (const QJsonValue &value : s.value(QStringLiteral("args")).toArray()) {
        const QJsonObject arg = value.toObject();
        const QString type = arg.isEmpty() ? QString() : arg.constBegin().key();
        const QJsonValue v = arg.isEmpty() ? QJsonValue() : arg.constBegin().value();
        if (type == QLatin1String("i32") || type == QLatin1String("u32")) {
            w.appendInt32(int32_t(qint64(v.toDouble())));
        } else if (type == QLatin1String("i8")) {
            w.appendInt8(int8_t(v.toInt()));
        } else if (type == QLatin1String("s16")) {
            w.appendString16(v.toString().toStdString());
        } else if (type == QLatin1String("hidl_string")) {
            w.appendHidlString(v.toString().toStdString());
        } else if (type == QLatin1String("bytes_vec")) {
            const QByteArray bytes = QByteArray::fromHex(v.toString().toLatin1());
            w.appendHidlVec(bytes.constData(), size_t(bytes.size()), 1);
        } else if (type == QLatin1String("iface_info")) {   // ISupplicant::IfaceInfo, station
            uint8_t info[24] = {};
            const std::string name = v.toString().toStdString();
            const uint32_t length = uint32_t(name.size());
            std::memcpy(info + 16, &length, sizeof length);
            const BufferParent parent {w.appendBufferObject(info, sizeof info, nullptr), 8};
            w.appendBufferObject(name.c_str(), name.size() + 1, &parent);
        } else if (type == QLatin1String("object")) {
            w.appendRemoteObject(m_objects.value(v.toString()));
        } else if (type == QLatin1String("binder")) {
            if (v.isNull()) {
                w.appendNullObject();
                continue;
            }
            const QString label = v.toObject().value(QStringLiteral("name")).toString();
            std::shared_ptr<LocalObject> callback = newSimCallbackObject(
                ServiceManager::get(device), v.toObject().value(QStringLiteral("interface")).toString(), label);
            if (!callback)
                return {{QStringLiteral("error"), QStringLiteral("cannot make callback %1").arg(label)}};
            m_callbacks.insert(label, callback);
            w.appendLocalObject(callback);
        } else {
            return {{QStringLiteral("error"), QStringLiteral("unknown argument %1").arg(type)}};
        }
    }

    QJsonObject result{{QStringLiteral("target"), targetName}, {QStringLiteral("code"), qint64(code)}};
    if (oneway) {
        result.insert(QStringLiteral("status"), client.transactOneway(code, request));
        return result;
    }
    std::unique_ptr<RemoteReply> reply;
    const Status status = client.transactSync(code, request, &reply);
    result.insert(QStringLiteral("status"), status);
    if (status != kStatusOk || !reply)
        return result;
    Reader in = reply->reader();
    int32_t word = 0;
    if (!in.readInt32(&word)) {
        result.insert(QStringLiteral("error"), QStringLiteral("empty reply"));
        return result;
    }
    result.insert(QStringLiteral("word"), word);
    QJsonArray values;
    for (const QJsonValue &kind : s.value(QStringLiteral("reply")).toArray()) {
        QJsonValue value;
        std::shared_ptr<RemoteObject> object;
        if (!readValue(kind.toString(), in, &value, &object, &error)) {
            result.insert(QStringLiteral("error"), error.isEmpty() ? QStringLiteral("short reply at %1").arg(kind.toString()) : error);
            break;
        }
        if (object && s.contains(QStringLiteral("keep")))
            m_objects.insert(s.value(QStringLiteral("keep")).toString(), object);
        values.append(value);
    }
    result.insert(QStringLiteral("values"), values);
    result.insert(QStringLiteral("rest"), qint64(in.bytesRemaining()));
    return result;
}

int runWifiProcess(const QString &commandJson)
{
    const QJsonObject answer = WifiStack::instance().run(QJsonDocument::fromJson(commandJson.toUtf8()).object());
    std::printf("%s\n", QJsonDocument(answer).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return 0;
}
