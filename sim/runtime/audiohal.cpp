#include "audiohal.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace ferry::binder;

namespace {

const char *const kDevice = "/dev/vndvororoveredi";
const char *const kService = "NovumAudioService";
const char *const kInterface = "NovumAudioService@1.0";
// Android's primary output: 48 kHz stereo 16-bit, flag AUDIO_OUTPUT_FLAG_PRIMARY.
const int kDefaultRate = 48000;
const int kStereo = 3;
const int kPcm16 = 1;
// One period of the mixer: 20 ms of 48 kHz stereo.
const int kDefaultBufferBytes = 3840;
const int kMaxSteps = 256;
const int kMaxRepeat = 100000;
const qint64 kMaxBufferBytes = 64 * 1024 * 1024;

double nowUs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

// One open stream of the HAL: its memfd buffer and the slot the service gave.
struct Stream {
    int fd = -1;
    uint8_t *data = nullptr;
    size_t mapped = 0;
    int32_t slot = -1;
    double phase = 0;
    qint64 fileOffset = 0;

    void release()
    {
        if (data)
            munmap(data, mapped);
        if (fd >= 0)
            close(fd);
        *this = Stream();
    }
};

class AudioHal {
public:
    explicit AudioHal(std::shared_ptr<Client> client)
        : m_client(std::move(client))
    {
    }
    ~AudioHal()
    {
        m_output.release();
        m_input.release();
    }

    QJsonObject step(const QJsonObject &s)
    {
        const QString op = s.value(QStringLiteral("op")).toString();
        if (op == QLatin1String("open-output") || op == QLatin1String("open-input"))
            return open(s, op == QLatin1String("open-output"));
        if (op == QLatin1String("write"))
            return write(s);
        if (op == QLatin1String("read"))
            return read(s);
        if (op == QLatin1String("shrink"))
            return shrink(s);
        if (op == QLatin1String("standby") || op == QLatin1String("close") || op == QLatin1String("input-standby")
            || op == QLatin1String("input-close") || op == QLatin1String("latency"))
            return slotCall(s, op);
        if (op == QLatin1String("mode"))
            return simple(9, {s.value(QStringLiteral("mode")).toInt()}, false);
        if (op == QLatin1String("version"))
            return simple(12, {s.value(QStringLiteral("version")).toInt(1)}, true);
        if (op == QLatin1String("parameters")) {
            LocalRequest request = m_client->newRequest(10);
            request.writer().appendString8(s.value(QStringLiteral("value")).toString().toStdString());
            return finish(request, 10, false);
        }
        if (op == QLatin1String("raw")) {
            std::vector<int32_t> ints;
            for (const QJsonValue &v : s.value(QStringLiteral("ints")).toArray())
                ints.push_back(v.toInt());
            return simple(uint32_t(s.value(QStringLiteral("code")).toInt()), ints, true);
        }
        return {{QStringLiteral("error"), QStringLiteral("unknown op %1").arg(op)}};
    }

private:
    Stream &stream(const QJsonObject &s, bool output) { (void)s; return output ? m_output : m_input; }

    int32_t slotOf(const QJsonObject &s, const Stream &stream) const
    {
        return s.contains(QStringLiteral("slot")) ? s.value(QStringLiteral("slot")).toInt() : stream.slot;
    }

    QJsonObject open(const QJsonObject &s, bool output)
    {
        Stream &st = stream(s, output);
        st.release();
        const qint64 stated = s.contains(QStringLiteral("size"))
                                  ? s.value(QStringLiteral("size")).toVariant().toLongLong()
                                  : kDefaultBufferBytes;
        const qint64 objectSize = s.contains(QStringLiteral("objectSize"))
                                      ? s.value(QStringLiteral("objectSize")).toVariant().toLongLong()
                                      : stated;
        const QString kind = s.value(QStringLiteral("fd")).toString(QStringLiteral("memfd"));
        int pipeFds[2] = {-1, -1};
        if (kind == QLatin1String("memfd")) {
            const bool sealable = s.value(QStringLiteral("sealable")).toBool(true);
            st.fd = memfd_create("audio_hal_buffer", MFD_CLOEXEC | (sealable ? MFD_ALLOW_SEALING : 0));
            if (st.fd < 0 || objectSize < 0 || objectSize > kMaxBufferBytes || ftruncate(st.fd, objectSize) != 0)
                return {{QStringLiteral("error"), QStringLiteral("cannot make the memfd")}};
            if (objectSize > 0) {
                void *p = mmap(nullptr, size_t(objectSize), PROT_READ | PROT_WRITE, MAP_SHARED, st.fd, 0);
                if (p == MAP_FAILED)
                    return {{QStringLiteral("error"), QStringLiteral("cannot map the memfd")}};
                st.data = static_cast<uint8_t *>(p);
                st.mapped = size_t(objectSize);
            }
        } else if (kind == QLatin1String("pipe")) {
            if (pipe2(pipeFds, O_CLOEXEC) != 0)
                return {{QStringLiteral("error"), QStringLiteral("cannot make a pipe")}};
            st.fd = pipeFds[0];
        } else if (kind == QLatin1String("file")) {
            st.fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
        }
        LocalRequest request = m_client->newRequest(output ? 1 : 5);
        Writer &w = request.writer();
        w.appendInt32(s.value(QStringLiteral("ioHandle")).toInt(output ? 13 : 21));
        w.appendInt32(s.value(QStringLiteral("devices")).toInt(output ? 2 : int(0x80000004)));
        w.appendInt32(s.value(QStringLiteral("flags")).toInt(output ? 0x800002 : 0));
        w.appendInt32(s.value(QStringLiteral("rate")).toInt(kDefaultRate));
        w.appendInt32(s.value(QStringLiteral("channelMask")).toInt(kStereo));
        w.appendInt32(s.value(QStringLiteral("format")).toInt(kPcm16));
        if (st.fd >= 0)
            w.appendFd(st.fd);
        else
            w.appendInt32(-1);   // no descriptor object at all
        w.appendInt32(int32_t(stated));
        QJsonObject result = finish(request, output ? 1 : 5, true);
        if (pipeFds[1] >= 0)
            close(pipeFds[1]);
        st.slot = result.value(QStringLiteral("reply")).toInt(-1);
        return result;
    }

    void fill(Stream &st, const QJsonObject &s, size_t count)
    {
        struct stat info {};
        if (!st.data || fstat(st.fd, &info) != 0)
            return;
        // Never past the object's end: a shrunk buffer is a test's doing.
        count = std::min({count, st.mapped, size_t(info.st_size)});
        const QString file = s.value(QStringLiteral("file")).toString();
        if (!file.isEmpty()) {
            if (!m_file.isOpen()) {
                m_file.setFileName(file);
                m_file.open(QIODevice::ReadOnly);
            }
            size_t done = 0;
            while (done < count && m_file.isOpen()) {
                const qint64 n = m_file.read(reinterpret_cast<char *>(st.data) + done, qint64(count - done));
                if (n <= 0) {
                    if (!m_file.seek(0) || m_file.size() == 0)
                        break;
                    continue;
                }
                done += size_t(n);
            }
            std::fill(st.data + done, st.data + count, 0);
            return;
        }
        const double hz = s.value(QStringLiteral("tone")).toDouble(440);
        auto *pcm = reinterpret_cast<int16_t *>(st.data);
        for (size_t frame = 0; frame < count / 4; ++frame) {
            const auto v = int16_t(8000 * std::sin(st.phase));
            pcm[2 * frame] = pcm[2 * frame + 1] = v;
            st.phase = std::fmod(st.phase + 2 * M_PI * hz / kDefaultRate, 2 * M_PI);
        }
    }

    QJsonObject write(const QJsonObject &s)
    {
        Stream &st = m_output;
        const int32_t slot = slotOf(s, st);
        const int32_t count = s.contains(QStringLiteral("count")) ? s.value(QStringLiteral("count")).toInt()
                                                                    : int32_t(st.mapped);
        const int repeat = std::clamp(s.value(QStringLiteral("repeat")).toInt(1), 1, kMaxRepeat);
        std::vector<double> durations;
        durations.reserve(size_t(repeat));
        QJsonArray replies;
        int32_t last = 0;
        Status status = kStatusOk;
        const double started = nowUs();
        for (int i = 0; i < repeat && status == kStatusOk; ++i) {
            if (count > 0)
                fill(st, s, size_t(count));
            LocalRequest request = m_client->newRequest(3);
            request.writer().appendInt32(slot);
            request.writer().appendInt32(count);
            std::unique_ptr<RemoteReply> reply;
            const double before = nowUs();
            status = m_client->transactSync(3, request, &reply);
            durations.push_back(nowUs() - before);
            int32_t value = -1;
            if (status == kStatusOk && reply)
                reply->reader().readInt32(&value);
            if (i == 0 || value != last)
                replies.append(value);
            last = value;
        }
        const double wall = nowUs() - started;
        std::sort(durations.begin(), durations.end());
        const auto percentile = [&durations](double p) {
            return durations.empty() ? 0.0 : durations[std::min(durations.size() - 1, size_t(p * durations.size()))];
        };
        return {{QStringLiteral("status"), status},
                {QStringLiteral("reply"), last},
                {QStringLiteral("replies"), replies},
                {QStringLiteral("calls"), int(durations.size())},
                {QStringLiteral("wallUs"), wall},
                {QStringLiteral("medianUs"), percentile(0.5)},
                {QStringLiteral("p99Us"), percentile(0.99)}};
    }

    QJsonObject read(const QJsonObject &s)
    {
        Stream &st = m_input;
        const int32_t slot = slotOf(s, st);
        const qint64 count = s.contains(QStringLiteral("count"))
                                 ? s.value(QStringLiteral("count")).toVariant().toLongLong()
                                 : qint64(st.mapped);
        const int repeat = std::clamp(s.value(QStringLiteral("repeat")).toInt(1), 1, kMaxRepeat);
        QJsonArray replies;
        int32_t last = 0;
        Status status = kStatusOk;
        QByteArray head;
        const double started = nowUs();
        for (int i = 0; i < repeat && status == kStatusOk; ++i) {
            LocalRequest request = m_client->newRequest(7);
            request.writer().appendInt32(slot);
            request.writer().appendUint32(uint32_t(count));
            std::unique_ptr<RemoteReply> reply;
            status = m_client->transactSync(7, request, &reply);
            int32_t value = -1;
            if (status == kStatusOk && reply)
                reply->reader().readInt32(&value);
            if (i == 0 || value != last)
                replies.append(value);
            last = value;
            if (value > 0 && st.data)
                head = QByteArray(reinterpret_cast<const char *>(st.data), int(std::min<size_t>(16, st.mapped)));
        }
        return {{QStringLiteral("status"), status},
                {QStringLiteral("reply"), last},
                {QStringLiteral("replies"), replies},
                {QStringLiteral("wallUs"), nowUs() - started},
                {QStringLiteral("head"), QString::fromLatin1(head.toHex())}};
    }

    QJsonObject shrink(const QJsonObject &s)
    {
        Stream &st = s.value(QStringLiteral("input")).toBool() ? m_input : m_output;
        const qint64 to = s.value(QStringLiteral("to")).toVariant().toLongLong();
        const bool shrunk = st.fd >= 0 && ftruncate(st.fd, to) == 0;
        return {{QStringLiteral("shrunk"), shrunk}};
    }

    QJsonObject slotCall(const QJsonObject &s, const QString &op)
    {
        const bool input = op.startsWith(QLatin1String("input-"));
        Stream &st = input ? m_input : m_output;
        uint32_t code = 11;
        if (op == QLatin1String("standby"))
            code = 4;
        else if (op == QLatin1String("close"))
            code = 2;
        else if (op == QLatin1String("input-standby"))
            code = 8;
        else if (op == QLatin1String("input-close"))
            code = 6;
        QJsonObject result = simple(code, {slotOf(s, st)}, code != 2 && code != 6);
        if (code == 2 || code == 6)
            st.release();
        return result;
    }

    QJsonObject simple(uint32_t code, const std::vector<int32_t> &ints, bool withReply)
    {
        LocalRequest request = m_client->newRequest(code);
        for (int32_t v : ints)
            request.writer().appendInt32(v);
        return finish(request, code, withReply);
    }

    QJsonObject finish(LocalRequest &request, uint32_t code, bool withReply)
    {
        std::unique_ptr<RemoteReply> reply;
        const Status status = m_client->transactSync(code, request, &reply);
        QJsonObject result{{QStringLiteral("status"), status}};
        int32_t value = 0;
        if (withReply && status == kStatusOk && reply && reply->reader().readInt32(&value))
            result.insert(QStringLiteral("reply"), value);
        return result;
    }

    std::shared_ptr<Client> m_client;
    Stream m_output;
    Stream m_input;
    QFile m_file;
};

} // namespace

QJsonObject audioPlayScript(const QJsonObject &command)
{
    const int rate = kDefaultRate;
    const double seconds = std::clamp(command.value(QStringLiteral("seconds")).toDouble(1), 0.02, 600.0);
    const int bufferBytes = command.value(QStringLiteral("bufferBytes")).toInt(kDefaultBufferBytes);
    const int repeat = std::max(1, int(std::lround(seconds * rate * 4 / std::max(bufferBytes, 4))));
    QJsonObject write{{QStringLiteral("op"), QStringLiteral("write")}, {QStringLiteral("repeat"), repeat}};
    if (command.contains(QStringLiteral("file")))
        write.insert(QStringLiteral("file"), command.value(QStringLiteral("file")));
    else
        write.insert(QStringLiteral("tone"), command.value(QStringLiteral("tone")).toDouble(440));
    QJsonObject open{{QStringLiteral("op"), QStringLiteral("open-output")}, {QStringLiteral("size"), bufferBytes}};
    for (const char *key : {"ioHandle", "flags"}) {
        if (command.contains(QLatin1String(key)))
            open.insert(QLatin1String(key), command.value(QLatin1String(key)));
    }
    return {{QStringLiteral("cmd"), QStringLiteral("audio-hal")},
            {QStringLiteral("steps"),
             QJsonArray{QJsonObject{{QStringLiteral("op"), QStringLiteral("version")}}, open, write,
                        QJsonObject{{QStringLiteral("op"), QStringLiteral("standby")}},
                        QJsonObject{{QStringLiteral("op"), QStringLiteral("close")}}}}};
}

QJsonObject runAudioHalScript(const QJsonObject &command)
{
    const QJsonArray steps = command.value(QStringLiteral("steps")).toArray();
    if (steps.isEmpty() || steps.size() > kMaxSteps)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("steps: 1 to 256")}};
    const std::shared_ptr<ServiceManager> manager = ServiceManager::get(kDevice);
    const std::shared_ptr<RemoteObject> remote = manager ? manager->getServiceSync(kService) : nullptr;
    if (!remote)
        return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no NovumAudioService")}};
    AudioHal hal(Client::create(remote, kInterface));
    QJsonArray results;
    for (const QJsonValue &s : steps)
        results.append(hal.step(s.toObject()));
    return {{QStringLiteral("ok"), true}, {QStringLiteral("results"), results}};
}

int runAudioHalProcess(const QString &commandJson)
{
    const QJsonObject command = QJsonDocument::fromJson(commandJson.toUtf8()).object();
    const QJsonObject answer = runAudioHalScript(
        command.value(QStringLiteral("cmd")).toString() == QLatin1String("audio-play") ? audioPlayScript(command)
                                                                                        : command);
    std::printf("%s\n", QJsonDocument(answer).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);
    return 0;
}
