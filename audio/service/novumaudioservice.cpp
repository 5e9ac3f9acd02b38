#include "novumaudioservice.h"

#include "audioservice.h"
#include "servicelog_p.h"

#include <naudio/audio.h>
#include <naudio/hook.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>

using namespace ferry::binder;

namespace {

enum : uint32_t {
    kOpenOutput = 1,
    kCloseOutput = 2,
    kWrite = 3,
    kOutputStandby = 4,
    kOpenInput = 5,
    kCloseInput = 6,
    kRead = 7,
    kInputStandby = 8,
    kSetMode = 9,
    kSetParameters = 10,
    kGetLatency = 11,
    kCheckVersion = 12,
};

constexpr int32_t kRequiredClientVersion = 1;
// A parameter string longer than this is not Android's.
constexpr size_t kMaxParametersLength = 4096;

struct OpenRequest {
    int32_t ioHandle = 0, devices = 0, flags = 0, sampleRate = 0, channelMask = 0, format = 0;
    int fd = -1;
    int32_t size = 0;

    bool read(Reader &in)
    {
        return in.readInt32(&ioHandle) && in.readInt32(&devices) && in.readInt32(&flags)
            && in.readInt32(&sampleRate) && in.readInt32(&channelMask) && in.readInt32(&format)
            && in.readFd(&fd) && in.readInt32(&size);
    }
};

int64_t monotonicUs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

class Handler {
public:
    explicit Handler(AudioService *service)
        : m_service(service)
    {
    }

    Status operator()(const RemoteRequest &request, uint32_t code, uint32_t, LocalReply *reply)
    {
        Reader in = request.reader();
        int32_t result = 0;
        bool answer = true;
        switch (code) {
        case kOpenOutput:
            result = openOutput(in);
            break;
        case kCloseOutput:
            closeOutput(in);
            answer = false;
            break;
        case kWrite:
            result = write(in);
            break;
        case kOutputStandby:
            result = outputStandby(in);
            break;
        case kOpenInput:
            result = openInput(in);
            break;
        case kCloseInput:
            closeInput(in);
            answer = false;
            break;
        case kRead:
            result = read(in);
            break;
        case kInputStandby:
            result = inputStandby(in);
            break;
        case kSetMode:
            setMode(in);
            answer = false;
            break;
        case kSetParameters:
            setParameters(in);
            answer = false;
            break;
        case kGetLatency:
            result = latency(in);
            break;
        case kCheckVersion:
            result = checkVersion(in);
            break;
        default:
            SERVICE_ERR("Unknown code (%u)", code);
            answer = false;
            break;
        }
        if (answer && reply)
            reply->writer().appendInt32(result);
        return kStatusOk;
    }

private:
    NAudioHandle *audio() const { return m_service->audio(); }

    static bool readSlot(Reader &in, int32_t *slot, const char *what)
    {
        if (!in.readInt32(slot)) {
            SERVICE_ERR("Malformed %s request", what);
            return false;
        }
        return true;
    }

    int32_t openOutput(Reader &in)
    {
        OpenRequest r;
        if (!r.read(in)) {
            SERVICE_ERR("Malformed open output request");
            return -1;
        }
        // The buffer is checked before a stream slot is taken for it.
        bool fixed = false;
        int32_t slot = -1;
        if (SharedBuffer::acceptable(r.fd, r.size, &fixed)) {
            slot = naudio_audio_open_output(audio(), r.ioHandle, uint32_t(r.devices), uint32_t(r.flags),
                                            uint32_t(r.sampleRate), uint32_t(r.channelMask));
        }
        SERVICE_INFO("Open output io_handle(%d) devices(%d) flags(%#010x) sample_rate(%d) channel_mask(%d) "
                     "format(%d) -> %d",
                     r.ioHandle, r.devices, uint32_t(r.flags), r.sampleRate, r.channelMask, r.format, slot);
        if (slot < 0)
            return -1;
        SharedBuffer *buffer = m_service->outputBuffer(slot);
        if (!buffer || !buffer->map(r.fd, r.size)) {
            naudio_audio_output_close(audio(), slot);
            return -1;
        }
        return slot;
    }

    int32_t openInput(Reader &in)
    {
        OpenRequest r;
        if (!r.read(in)) {
            SERVICE_ERR("Malformed open input request");
            return -1;
        }
        bool fixed = false;
        int32_t slot = -1;
        if (SharedBuffer::acceptable(r.fd, r.size, &fixed)) {
            slot = naudio_audio_open_input(audio(), r.ioHandle, uint32_t(r.devices), uint32_t(r.flags),
                                           uint32_t(r.sampleRate), uint32_t(r.channelMask), uint32_t(r.format),
                                           uint32_t(r.size));
        }
        SERVICE_INFO("Open input io_handle(%d) devices(%#010x) flags(%#010x) sample_rate(%d) channel_mask(%#010x) "
                     "format(%#010x) size(%d) -> %d",
                     r.ioHandle, uint32_t(r.devices), uint32_t(r.flags), r.sampleRate, uint32_t(r.channelMask),
                     uint32_t(r.format), r.size, slot);
        if (slot < 0)
            return -1;
        SharedBuffer *buffer = m_service->inputBuffer(slot);
        if (!buffer || !buffer->map(r.fd, r.size)) {
            naudio_audio_input_close(audio(), slot);
            return -1;
        }
        const int channels = naudio_audio_input_channel_count(audio(), slot);
        if (r.sampleRate > 0 && channels > 0)
            buffer->bytesPerSecond = uint32_t(r.sampleRate) * uint32_t(channels) * 2u;
        return slot;
    }

    // The record of an open output slot, or null with an error line.
    SharedBuffer *openOutputBuffer(int32_t slot)
    {
        SharedBuffer *buffer = m_service->outputBuffer(slot);
        if (!buffer || !buffer->isMapped()) {
            SERVICE_ERR("Output slot %d is not open", slot);
            return nullptr;
        }
        return buffer;
    }

    SharedBuffer *openInputBuffer(int32_t slot)
    {
        SharedBuffer *buffer = m_service->inputBuffer(slot);
        if (!buffer || !buffer->isMapped()) {
            SERVICE_ERR("Input slot %d is not open", slot);
            return nullptr;
        }
        return buffer;
    }

    void closeOutput(Reader &in)
    {
        int32_t slot = -1;
        if (!readSlot(in, &slot, "output close"))
            return;
        SERVICE_INFO("Output close (%d)", slot);
        SharedBuffer *buffer = openOutputBuffer(slot);
        if (!buffer)
            return;
        // The slot is freed too: otherwise eight closed streams would leave
        // no slot for the next open.
        naudio_audio_output_close(audio(), slot);
        buffer->unmap();
    }

    void closeInput(Reader &in)
    {
        int32_t slot = -1;
        if (!readSlot(in, &slot, "input close"))
            return;
        SERVICE_INFO("Input close (%d)", slot);
        SharedBuffer *buffer = openInputBuffer(slot);
        if (!buffer)
            return;
        naudio_audio_input_close(audio(), slot);
        buffer->unmap();
    }

    int32_t write(Reader &in)
    {
        int32_t slot = -1, count = 0;
        if (!in.readInt32(&slot) || !in.readInt32(&count)) {
            SERVICE_ERR("Malformed write request");
            return -1;
        }
        SharedBuffer *buffer = openOutputBuffer(slot);
        if (!buffer)
            return -1;
        if (count < 0 || !buffer->accessible(uint64_t(count))) {
            SERVICE_ERR("Refusing write of %d bytes to output slot %d", count, slot);
            return -1;
        }
        if (naudio_audio_output_write(audio(), slot, buffer->data(), size_t(count)) < 0)
            return -1;
        return count;
    }

    int32_t read(Reader &in)
    {
        int32_t slot = -1;
        uint32_t count = 0;
        if (!in.readInt32(&slot) || !in.readUint32(&count)) {
            SERVICE_ERR("Malformed read request");
            return -1;
        }
        SharedBuffer *buffer = openInputBuffer(slot);
        if (!buffer)
            return -1;
        if (count > uint32_t(INT32_MAX) || !buffer->accessible(count)) {
            SERVICE_ERR("Refusing read of %u bytes from input slot %d", count, slot);
            return -1;
        }
        const int64_t started = monotonicUs();
        if (m_service->realRead()) {
            const int64_t got = naudio_audio_input_read(audio(), slot, buffer->data(), count);
            if (!m_service->hasTestData())
                return got < 0 ? -1 : int32_t(got);
        }
        if (!m_service->hasTestData())
            return -1;
        fillFromTestData(buffer, count);
        pace(buffer, count, started);
        return int32_t(count);
    }

    void fillFromTestData(SharedBuffer *buffer, uint32_t count)
    {
        const std::vector<uint8_t> &data = m_service->testData();
        uint8_t *out = buffer->data();
        if (data.empty()) {
            memset(out, 0, count);
            return;
        }
        uint64_t offset = buffer->testReadOffset % data.size();
        for (uint32_t done = 0; done < count;) {
            const size_t n = std::min<uint64_t>(count - done, data.size() - offset);
            memcpy(out + done, data.data() + offset, n);
            done += uint32_t(n);
            offset = (offset + n) % data.size();
        }
        buffer->testReadOffset = offset;
    }

    // Test data is there at once; a real microphone takes as long to fill
    // the request as the audio in it lasts. Whatever a real read already
    // waited counts.
    static void pace(const SharedBuffer *buffer, uint32_t count, int64_t startedUs)
    {
        if (!buffer->bytesPerSecond)
            return;
        const int64_t duration = int64_t(count) * 1000000 / buffer->bytesPerSecond;
        const int64_t left = duration - (monotonicUs() - startedUs);
        if (left > 0)
            usleep(useconds_t(left));
    }

    int32_t outputStandby(Reader &in)
    {
        int32_t slot = -1;
        if (!readSlot(in, &slot, "output standby"))
            return -1;
        SERVICE_INFO("Output standby (%d)", slot);
        if (!openOutputBuffer(slot))
            return -1;
        naudio_audio_output_standby(audio(), slot);
        return 0;
    }

    int32_t inputStandby(Reader &in)
    {
        int32_t slot = -1;
        if (!readSlot(in, &slot, "input standby"))
            return -1;
        SERVICE_INFO("Input standby (%d)", slot);
        return 0;
    }

    void setMode(Reader &in)
    {
        int32_t mode = 0;
        if (!in.readInt32(&mode)) {
            SERVICE_ERR("Malformed set mode request");
            return;
        }
        SERVICE_INFO("Set mode %d", mode);
        m_service->invokeHook(NAUDIO_HOOK_SET_MODE, NAUDIO_INT_TO_PTR(mode));
    }

    void setParameters(Reader &in)
    {
        std::string parameters;
        if (!in.readString8(&parameters) || parameters.size() > kMaxParametersLength
            || parameters.find('\0') != std::string::npos) {
            SERVICE_ERR("Malformed set parameters request");
            return;
        }
        // Shown escaped: the text is Android's, the log is ours.
        gchar *shown = g_strescape(parameters.c_str(), nullptr);
        SERVICE_INFO("Set parameters \"%s\"", shown);
        g_free(shown);
        m_service->invokeHook(NAUDIO_HOOK_SET_PARAMETERS, const_cast<char *>(parameters.c_str()));
    }

    int32_t latency(Reader &in)
    {
        int32_t slot = -1;
        if (!readSlot(in, &slot, "latency"))
            return -1;
        return naudio_audio_output_latency(audio(), slot);
    }

    static int32_t checkVersion(Reader &in)
    {
        int32_t version = 0;
        if (!in.readInt32(&version) || version < kRequiredClientVersion) {
            SERVICE_ERR("Version mismatch, client requests %d, we require at least %d.", version,
                        kRequiredClientVersion);
            return -1;
        }
        return 0;
    }

    AudioService *m_service;
};

} // namespace

std::shared_ptr<LocalObject> createNovumAudioService(ServiceManager &vendorManager, AudioService *service)
{
    return vendorManager.newLocalObject(kNovumAudioServiceInterface, Handler(service));
}
