#include "sensorsclient.h"

#include "transactionlog.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

using namespace ferry::binder;

namespace {

const char *const kDevice = "/dev/hwvororoveredi";
const char *const kService = "android.hardware.sensors@1.0::ISensors/default_novum";
const char *const kInterface = "android.hardware.sensors@1.0::ISensors";
const int kMaxSteps = 256;
const double kMaxLoopSeconds = 600;
const size_t kEventSize = 80;
const size_t kInfoSize = 112;
// Where SensorInfo keeps its four strings.
const size_t kStringOffsets[] = {8, 24, 48, 88};

template <typename T>
T at(const void *data, size_t offset)
{
    T value;
    std::memcpy(&value, static_cast<const char *>(data) + offset, sizeof value);
    return value;
}

int64_t bootTimeNs()
{
    timespec ts {};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QJsonObject event(const uint8_t *e)
{
    const int32_t type = at<int32_t>(e, 12);
    QJsonObject o{{QStringLiteral("timestamp"), qint64(at<int64_t>(e, 0))},
                  {QStringLiteral("handle"), at<int32_t>(e, 8)},
                  {QStringLiteral("type"), type}};
    if (type == 0) {
        o.insert(QStringLiteral("meta"), qint64(at<uint32_t>(e, 16)));
    } else if (type == 1 || type == 2 || type == 4) {
        o.insert(QStringLiteral("values"), QJsonArray{at<float>(e, 16), at<float>(e, 20), at<float>(e, 24)});
        o.insert(QStringLiteral("status"), at<int8_t>(e, 28));
    } else {
        o.insert(QStringLiteral("values"), QJsonArray{at<float>(e, 16)});
    }
    return o;
}

// vec<SensorInfo>: header, array, then each element's four strings; the
// kernel must have pointed each hidl_string at its own buffer.
bool readInfos(Reader &reader, QJsonArray *out, QString *error)
{
    const void *elements = nullptr;
    size_t count = 0;
    if (!reader.readHidlVec(&elements, &count, kInfoSize)) {
        *error = QStringLiteral("no vec<SensorInfo>");
        return false;
    }
    for (size_t k = 0; k < count; ++k) {
        const auto *e = static_cast<const uint8_t *>(elements) + k * kInfoSize;
        QStringList strings;
        for (size_t offset : kStringOffsets) {
            const void *chars = nullptr;
            size_t size = 0;
            if (!reader.readBufferObject(&chars, &size) || size == 0) {
                *error = QStringLiteral("sensor %1: string at %2 missing").arg(k).arg(offset);
                return false;
            }
            const auto *text = static_cast<const char *>(chars);
            if (at<uint64_t>(e, offset) != reinterpret_cast<uint64_t>(chars) || at<uint32_t>(e, offset + 8) + 1 != size
                || text[size - 1] != '\0') {
                *error = QStringLiteral("sensor %1: string at %2 is not its buffer").arg(k).arg(offset);
                return false;
            }
            strings << QString::fromUtf8(text, int(size - 1));
        }
        out->append(QJsonObject{{QStringLiteral("handle"), at<int32_t>(e, 0)},
                                {QStringLiteral("name"), strings[0]},
                                {QStringLiteral("vendor"), strings[1]},
                                {QStringLiteral("version"), at<int32_t>(e, 40)},
                                {QStringLiteral("type"), at<int32_t>(e, 44)},
                                {QStringLiteral("typeAsString"), strings[2]},
                                {QStringLiteral("maxRange"), at<float>(e, 64)},
                                {QStringLiteral("resolution"), at<float>(e, 68)},
                                {QStringLiteral("power"), at<float>(e, 72)},
                                {QStringLiteral("minDelay"), at<int32_t>(e, 76)},
                                {QStringLiteral("fifo"), QJsonArray{qint64(at<uint32_t>(e, 80)), qint64(at<uint32_t>(e, 84))}},
                                {QStringLiteral("requiredPermission"), strings[3]},
                                {QStringLiteral("maxDelay"), at<int32_t>(e, 104)},
                                {QStringLiteral("flags"), qint64(at<uint32_t>(e, 108))}});
    }
    return true;
}

class SensorsClient {
public:
    explicit SensorsClient(std::shared_ptr<Client> client)
        : m_client(std::move(client))
    {
    }

    QJsonObject step(const QJsonObject &s)
    {
        const QString op = s.value(QStringLiteral("op")).toString();
        const int32_t handle = s.value(QStringLiteral("handle")).toInt(1);
        if (op == QLatin1String("list"))
            return list();
        if (op == QLatin1String("mode"))
            return simple(2, {s.value(QStringLiteral("mode")).toInt()});
        if (op == QLatin1String("activate")) {
            LocalRequest request = m_client->newRequest(3);
            request.writer().appendInt32(handle);
            request.writer().appendInt8(s.value(QStringLiteral("enabled")).toBool(true) ? 1 : 0);
            return finish(request, 3);
        }
        if (op == QLatin1String("batch")) {
            LocalRequest request = m_client->newRequest(5);
            request.writer().appendInt32(handle);
            request.writer().appendInt64(qint64(s.value(QStringLiteral("periodNs")).toDouble(20000000)));
            request.writer().appendInt64(qint64(s.value(QStringLiteral("latencyNs")).toDouble(0)));
            return finish(request, 5);
        }
        if (op == QLatin1String("flush"))
            return simple(6, {handle});
        if (op == QLatin1String("poll"))
            return poll(s.value(QStringLiteral("maxCount")).toInt(16));
        if (op == QLatin1String("poll-loop"))
            return pollLoop(s);
        if (op == QLatin1String("raw")) {
            std::vector<int32_t> ints;
            for (const QJsonValue &v : s.value(QStringLiteral("ints")).toArray())
                ints.push_back(v.toInt());
            return simple(uint32_t(s.value(QStringLiteral("code")).toInt()), ints);
        }
        return {{QStringLiteral("error"), QStringLiteral("unknown op %1").arg(op)}};
    }

private:
    QJsonObject list()
    {
        LocalRequest request = m_client->newRequest(1);
        std::unique_ptr<RemoteReply> reply;
        const Status status = call(1, request, &reply);
        QJsonObject result{{QStringLiteral("status"), status}};
        int32_t word = -1;
        if (status != kStatusOk || !reply)
            return result;
        Reader reader = reply->reader();
        QJsonArray sensors;
        QString error;
        if (!reader.readInt32(&word) || !readInfos(reader, &sensors, &error))
            result.insert(QStringLiteral("error"), error.isEmpty() ? QStringLiteral("short reply") : error);
        result.insert(QStringLiteral("sensors"), sensors);
        return result;
    }

    // One poll; |delays| collects, per event, how long after its
    // timestamp the reply arrived (microseconds).
    QJsonObject poll(int32_t maxCount, std::vector<double> *delays = nullptr)
    {
        LocalRequest request = m_client->newRequest(4);
        request.writer().appendInt32(maxCount);
        std::unique_ptr<RemoteReply> reply;
        const int64_t sent = bootTimeNs();
        const Status status = call(4, request, &reply);
        const int64_t received = bootTimeNs();
        QJsonObject result{{QStringLiteral("status"), status}, {QStringLiteral("ms"), double(received - sent) / 1e6}};
        if (status != kStatusOk || !reply)
            return result;
        Reader reader = reply->reader();
        int32_t word, code;
        const void *elements = nullptr;
        size_t count = 0;
        QJsonArray dynamic;
        QString error;
        if (!reader.readInt32(&word) || !reader.readInt32(&code) || !reader.readHidlVec(&elements, &count, kEventSize)
            || !readInfos(reader, &dynamic, &error)) {
            result.insert(QStringLiteral("error"), error.isEmpty() ? QStringLiteral("malformed poll reply") : error);
            return result;
        }
        QJsonArray list;
        for (size_t i = 0; i < count; ++i) {
            const auto *e = static_cast<const uint8_t *>(elements) + i * kEventSize;
            if (delays)
                delays->push_back(double(received - at<int64_t>(e, 0)) / 1e3);
            else
                list.append(event(e));
        }
        result.insert(QStringLiteral("reply"), code);
        result.insert(QStringLiteral("count"), qint64(count));
        if (!delays)
            result.insert(QStringLiteral("events"), list);
        result.insert(QStringLiteral("dynamicSensors"), dynamic.size());
        return result;
    }

    // Android's sensor service: poll again as soon as a reply is in, until
    // the time is up.
    QJsonObject pollLoop(const QJsonObject &s)
    {
        const int32_t maxCount = s.value(QStringLiteral("maxCount")).toInt(16);
        const double seconds = std::clamp(s.value(QStringLiteral("seconds")).toDouble(1), 0.0, kMaxLoopSeconds);
        std::vector<double> delays;
        int polls = 0, empty = 0;
        const int64_t start = bootTimeNs();
        const int64_t end = start + int64_t(seconds * 1e9);
        QJsonObject last;
        while (bootTimeNs() < end) {
            last = poll(maxCount, &delays);
            ++polls;
            if (last.value(QStringLiteral("status")).toInt() != kStatusOk || last.contains(QStringLiteral("error")))
                break;
            if (last.value(QStringLiteral("count")).toInt() == 0)
                ++empty;
        }
        const double wall = double(bootTimeNs() - start) / 1e9;
        std::vector<double> sorted = delays;
        std::sort(sorted.begin(), sorted.end());
        const auto percentile = [&sorted](double p) {
            return sorted.empty() ? 0.0 : sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
        };
        return {{QStringLiteral("status"), last.value(QStringLiteral("status"))},
                {QStringLiteral("polls"), polls},
                {QStringLiteral("emptyPolls"), empty},
                {QStringLiteral("events"), qint64(delays.size())},
                {QStringLiteral("seconds"), wall},
                {QStringLiteral("eventsPerSecond"), wall > 0 ? double(delays.size()) / wall : 0.0},
                {QStringLiteral("medianDelayUs"), percentile(0.5)},
                {QStringLiteral("p99DelayUs"), percentile(0.99)}};
    }

    QJsonObject simple(uint32_t code, const std::vector<int32_t> &ints)
    {
        LocalRequest request = m_client->newRequest(code);
        for (int32_t v : ints)
            request.writer().appendInt32(v);
        return finish(request, code);
    }

    // Status word, then the method's int32 result (and any further words).
    QJsonObject finish(LocalRequest &request, uint32_t code)
    {
        std::unique_ptr<RemoteReply> reply;
        const Status status = call(code, request, &reply);
        QJsonObject result{{QStringLiteral("status"), status}};
        if (status != kStatusOk || !reply)
            return result;
        Reader reader = reply->reader();
        QJsonArray ints;
        int32_t word;
        while (reader.readInt32(&word))
            ints.append(word);
        result.insert(QStringLiteral("ints"), ints);
        if (ints.size() > 1)
            result.insert(QStringLiteral("reply"), ints[1]);
        return result;
    }

    // Logged before it goes out, so that a test knows a call (a poll the
    // host will hold) is on its way.
    Status call(uint32_t code, LocalRequest &request, std::unique_ptr<RemoteReply> *reply)
    {
        TransactionLog::append({{QStringLiteral("service"), QStringLiteral("sensors-client")},
                                {QStringLiteral("code"), qint64(code)},
                                {QStringLiteral("outgoing"), true}});
        return m_client->transactSync(code, request, reply);
    }

    std::shared_ptr<Client> m_client;
};

} // namespace

QJsonObject runSensorsScript(const QJsonObject &command)
{
    const QJsonArray steps = command.value(QStringLiteral("steps")).toArray();
    if (steps.isEmpty() || steps.size() > kMaxSteps)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("steps: 1 to 256")}};
    const std::shared_ptr<ServiceManager> manager = ServiceManager::get(kDevice, Protocol::Hidl);
    const std::shared_ptr<RemoteObject> remote = manager ? manager->getServiceSync(kService) : nullptr;
    if (!remote)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no sensors HAL")}};
    SensorsClient client(Client::create(remote, kInterface));
    QJsonArray results;
    for (const QJsonValue &s : steps)
        results.append(client.step(s.toObject()));
    return {{QStringLiteral("ok"), true}, {QStringLiteral("results"), results}};
}

int runSensorsProcess(const QString &commandJson)
{
    const QJsonObject answer = runSensorsScript(QJsonDocument::fromJson(commandJson.toUtf8()).object());
    std::printf("%s\n", QJsonDocument(answer).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return 0;
}
