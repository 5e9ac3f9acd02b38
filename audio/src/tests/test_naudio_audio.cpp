// The audio core against a private PulseAudio server.
#include "naudio/audio.h"
#include "naudio/core.h"
#include "naudio/hook.h"

#include "../audio_p.h"
#include "private-pulse-server.h"

#include <audiolog/audiolog.h>
#include <glib.h>
#include <pulse/proplist.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr uint32_t STEREO = 0x3;
constexpr uint32_t MONO = 0x1;
constexpr uint32_t RATE = 48000;
constexpr size_t CHUNK = RATE / 50 * 4; // 20 ms of S16LE stereo

// Log lines of the library, collected from both threads.
class LogCapture {
public:
    LogCapture() { audiolog_set_func(&LogCapture::sink, this); }
    ~LogCapture() { audiolog_set_func(nullptr, nullptr); }

    bool saw(const std::string &text) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::any_of(m_lines.begin(), m_lines.end(),
            [&](const std::string &line) { return line.find(text) != std::string::npos; });
    }
    size_t count(const std::string &text) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::count_if(m_lines.begin(), m_lines.end(),
            [&](const std::string &line) { return line.find(text) != std::string::npos; });
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    static void sink(int, const char *line, void *user)
    {
        auto *self = static_cast<LogCapture *>(user);
        if (getenv("NAUDIO_TEST_LOG"))
            fprintf(stderr, "%s\n", line);
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_lines.emplace_back(line);
    }
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

struct HookEvent {
    unsigned hook;
    int64_t io_handle;
    int64_t value;
    std::thread::id thread;
};

class AudioCoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = new PrivatePulseServer({"load-module module-role-cork trigger_roles=phone"});
        s_serverUp = s_server->start();
        s_server->exportToEnvironment();
    }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override
    {
        audiolog_set_default_level(AUDIOLOG_LEVEL_VERBOSE);
        ASSERT_TRUE(s_serverUp) << "private pulseaudio did not start";
        core = naudio_core_new();
        for (unsigned hook : {NAUDIO_HOOK_STREAM_CORK, NAUDIO_HOOK_STREAM_STOP, NAUDIO_HOOK_STREAM_ACTIVE,
                 NAUDIO_HOOK_STREAM_INACTIVE, NAUDIO_HOOK_STREAM_RELEASE}) {
            bindings.push_back(new Binding{this, hook});
            slots.push_back(naudio_hook_connect(naudio_core_hook(core), hook, &AudioCoreTest::onHook,
                bindings.back()));
        }
        slots.push_back(naudio_hook_connect(naudio_core_hook(core), NAUDIO_HOOK_STREAM_CREATE,
            &AudioCoreTest::onCreate, this));
        h = naudio_audio_new(core);
        naudio_core_set_audio(core, h);
        ASSERT_TRUE(naudio_audio_test_connected(h));
    }

    void TearDown() override
    {
        for (NAudioHookSlot *slot : slots)
            naudio_hook_slot_free(slot);
        for (auto *b : bindings)
            delete b;
        naudio_core_free(core);
        // Let the server see the client go before the next test counts streams.
        waitFor([] { return s_server->list("sink-inputs").empty(); });
        audiolog_set_default_level(AUDIOLOG_LEVEL_DEFAULT);
    }

    struct Binding {
        AudioCoreTest *test;
        unsigned hook;
    };

    static void onHook(void *argument, void *user_data, NAudioHookSlot *)
    {
        auto *b = static_cast<Binding *>(user_data);
        HookEvent e{b->hook, 0, 0, std::this_thread::get_id()};
        if (b->hook == NAUDIO_HOOK_STREAM_CORK) {
            auto *cork = static_cast<NAudioHookStreamCork *>(argument);
            e.io_handle = cork->io_handle;
            e.value = cork->corked;
        } else {
            e.io_handle = NAUDIO_PTR_TO_INT(argument);
        }
        b->test->events.push_back(e);
    }

    // Roles as host policy tags them: module-role-cork lets a "phone"
    // stream cork "music" streams.
    static void onCreate(void *argument, void *user_data, NAudioHookSlot *)
    {
        auto *self = static_cast<AudioCoreTest *>(user_data);
        auto *create = static_cast<NAudioHookStreamCreate *>(argument);
        self->created.push_back(create->io_handle);
        const uint32_t type = naudio_audio_stream_type(self->h, static_cast<int32_t>(create->io_handle));
        if (type & NAUDIO_STREAM_TYPE_VOICE)
            pa_proplist_sets(create->proplist, "media.role", "phone");
        else if (type & NAUDIO_STREAM_TYPE_MUSIC)
            pa_proplist_sets(create->proplist, "media.role", "music");
        pa_proplist_sets(create->proplist, "ferry.test", "yes");
    }

    // Runs the GLib main loop until `cond` holds (bounded, never a timing check).
    static bool waitFor(const std::function<bool()> &cond)
    {
        for (int i = 0; i < 1000; i++) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
            if (cond())
                return true;
            usleep(5000);
        }
        return cond();
    }

    // Runs what is already due on the GLib main loop.
    static void pump()
    {
        for (int i = 0; i < 10; i++) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        }
    }

    size_t countEvents(unsigned hook, int64_t io_handle, int64_t value = -1) const
    {
        return std::count_if(events.begin(), events.end(), [&](const HookEvent &e) {
            return e.hook == hook && e.io_handle == io_handle && (value < 0 || e.value == value);
        });
    }

    const PrivatePulseServer::Entry *sinkInput(int slot)
    {
        const uint32_t index = naudio_audio_test_stream_index(h, NAUDIO_TEST_OUTPUT, slot);
        m_entries = s_server->list("sink-inputs");
        for (const auto &e : m_entries) {
            if (e.index == index)
                return &e;
        }
        return nullptr;
    }

    size_t sinkInputCount() const { return s_server->list("sink-inputs").size(); }

    int write(int slot, size_t bytes = CHUNK)
    {
        std::vector<uint8_t> data(bytes, 0);
        return naudio_audio_output_write(h, slot, data.data(), data.size());
    }

    uint32_t state(int slot, int direction = NAUDIO_TEST_OUTPUT)
    {
        return naudio_audio_test_state(h, direction, slot);
    }

    static PrivatePulseServer *s_server;
    static bool s_serverUp;

    NAudioCore *core = nullptr;
    NAudioHandle *h = nullptr;
    std::vector<NAudioHookSlot *> slots;
    std::vector<Binding *> bindings;
    std::vector<HookEvent> events;
    std::vector<int64_t> created;
    LogCapture log;
    std::vector<PrivatePulseServer::Entry> m_entries;
};

PrivatePulseServer *AudioCoreTest::s_server = nullptr;
bool AudioCoreTest::s_serverUp = false;

TEST_F(AudioCoreTest, SlotsAreLimitedAndReopeningReplaces)
{
    for (int i = 0; i < NAUDIO_OUTPUT_STREAMS_COUNT_MAX; i++)
        EXPECT_EQ(naudio_audio_open_output(h, 100 + i, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO), i);
    EXPECT_EQ(naudio_audio_open_output(h, 200, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO), -1);
    for (int i = 0; i < NAUDIO_RECORD_STREAMS_COUNT_MAX; i++)
        EXPECT_EQ(naudio_audio_open_input(h, 300 + i, 0, 0, RATE, MONO, 1, CHUNK), i);
    EXPECT_EQ(naudio_audio_open_input(h, 400, 0, 0, RATE, MONO, 1, CHUNK), -1);

    EXPECT_EQ(naudio_audio_stream_type(h, 103), NAUDIO_STREAM_TYPE_MUSIC);
    EXPECT_EQ(naudio_audio_stream_type(h, 301), NAUDIO_STREAM_TYPE_RECORD);
    EXPECT_EQ(naudio_audio_stream_direction(h, 103), NAUDIO_STREAM_DIRECTION_OUTPUT);
    EXPECT_EQ(naudio_audio_stream_direction(h, 301), NAUDIO_STREAM_DIRECTION_INPUT);
    EXPECT_EQ(naudio_audio_input_channel_count(h, 1), 1);
    EXPECT_EQ(naudio_audio_stream_type(h, 999), 0u);
    EXPECT_EQ(naudio_audio_stream_direction(h, 999), NAUDIO_STREAM_DIRECTION_UNKNOWN);
    EXPECT_TRUE(log.saw("audio: Unknown io_handle 999"));

    // A live io_handle opened again: the old slot goes (stream included) and
    // the first free slot takes it.
    ASSERT_EQ(write(2), 0);
    ASSERT_NE(sinkInput(2), nullptr);
    naudio_audio_output_close(h, 0);
    EXPECT_EQ(naudio_audio_open_output(h, 102, 0, NAUDIO_STREAM_TYPE_SYSTEM, RATE, STEREO), 0);
    EXPECT_TRUE(log.saw("audio: Open output with already existing io_handle, overwriting."));
    EXPECT_TRUE(waitFor([&] { return sinkInputCount() == 0; }));
    EXPECT_EQ(naudio_audio_stream_type(h, 102), NAUDIO_STREAM_TYPE_SYSTEM);
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_RELEASE, 102), 1u);
    // Slot 2 is free again, so a new handle fits.
    EXPECT_EQ(naudio_audio_open_output(h, 201, 0, NAUDIO_STREAM_TYPE_VOICE, RATE, MONO), 2);

    // Voice input flag and the io handle 0, which is an ordinary handle here.
    naudio_audio_input_close(h, 3);
    EXPECT_EQ(naudio_audio_open_input(h, 0, 0, NAUDIO_INPUT_FLAG_VOICE, RATE, STEREO, 1, CHUNK), 3);
    EXPECT_EQ(naudio_audio_stream_type(h, 0), NAUDIO_STREAM_TYPE_RECORD_VOICE);
    EXPECT_EQ(naudio_audio_open_input(h, 401, 0, 0, RATE, STEREO, 1, CHUNK), -1)
        << "io_handle 0 must not make its slot look free";
    // Absurd buffer sizes are refused, not allocated.
    naudio_audio_input_close(h, 4);
    EXPECT_EQ(naudio_audio_open_input(h, 402, 0, 0, RATE, STEREO, 1, 0xffffffffu), -1);
    EXPECT_EQ(naudio_audio_open_input(h, 402, 0, 0, RATE, STEREO, 1, 100), 4);
    EXPECT_EQ(naudio_audio_test_overrun_capacity(h, 4), 400u);
}

TEST_F(AudioCoreTest, InvalidSlotsAreRejected)
{
    ASSERT_EQ(naudio_audio_open_output(h, 10, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO), 0);
    ASSERT_EQ(naudio_audio_open_input(h, 11, 0, 0, RATE, STEREO, 1, CHUNK), 0);
    std::vector<uint8_t> buffer(64, 0xee);
    for (int slot : {-1, 1, 8, 1000}) {
        log.clear();
        EXPECT_EQ(naudio_audio_output_write(h, slot, buffer.data(), buffer.size()), -1);
        EXPECT_EQ(naudio_audio_input_read(h, slot, buffer.data(), buffer.size()), -1);
        EXPECT_EQ(buffer, std::vector<uint8_t>(64, 0));
        std::fill(buffer.begin(), buffer.end(), 0xee);
        naudio_audio_output_standby(h, slot);
        naudio_audio_output_close(h, slot);
        naudio_audio_input_standby(h, slot);
        naudio_audio_input_close(h, slot);
        EXPECT_EQ(naudio_audio_output_latency(h, slot), 0);
        EXPECT_EQ(log.count("audio: Invalid "), 7u) << "slot " << slot;
    }
    EXPECT_EQ(naudio_audio_input_channel_count(h, 5), 0);
    EXPECT_EQ(naudio_audio_output_write(h, 0, nullptr, 16), -1);
    EXPECT_EQ(naudio_audio_input_read(h, 0, nullptr, 16), -1);
    EXPECT_EQ(naudio_audio_output_latency(h, 0), 100);
    // The valid slots still work.
    EXPECT_EQ(write(0), 0);
    EXPECT_NE(sinkInput(0), nullptr);
}

TEST(AudioCoreDeathTest, InputChannelCountOutsideTheSlotsIsFatal)
{
    // No server: no PulseAudio thread is left running when the test forks.
    PrivatePulseServer nowhere;
    nowhere.exportToEnvironment();
    NAudioHandle *h = naudio_audio_new(nullptr);
    EXPECT_DEATH(naudio_audio_input_channel_count(h, 8),
        "input_slot >= 0 && input_slot < NAUDIO_RECORD_STREAMS_COUNT_MAX");
    EXPECT_DEATH(naudio_audio_input_channel_count(h, -1), "input_slot >= 0");
    naudio_audio_free(h);
}

TEST_F(AudioCoreTest, WriteCreatesTheStreamAndStandbyReleasesIt)
{
    const int slot = naudio_audio_open_output(h, 42, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    ASSERT_EQ(slot, 0);
    EXPECT_EQ(sinkInputCount(), 0u) << "streams are created lazily";
    ASSERT_EQ(write(slot, CHUNK * 5), 0);
    const auto *entry = sinkInput(slot);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->properties.at("media.name"), "music");
    EXPECT_EQ(entry->properties.at("ferry.test"), "yes");
    EXPECT_EQ(entry->properties.at("application.name"), "NovumAudioService");
    EXPECT_FALSE(entry->corked);
    EXPECT_EQ(created, std::vector<int64_t>{42});
    EXPECT_EQ(state(slot), NAUDIO_STREAM_STATE_ACTIVE);
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_ACTIVE, 42), 1u);
    EXPECT_EQ(naudio_audio_test_music_active(h), 1);
    EXPECT_TRUE(log.saw("audio: [music] io_handle(42) Create stream for writing."));

    naudio_audio_output_standby(h, slot);
    EXPECT_EQ(sinkInputCount(), 0u);
    EXPECT_EQ(state(slot), 0u) << "standby of a connected stream ends with no bits";
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_INACTIVE, 42), 1u);
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_RELEASE, 42), 1u);
    EXPECT_EQ(naudio_audio_test_music_active(h), 0);

    // Standby without a stream keeps STANDBY until the next write.
    naudio_audio_output_standby(h, slot);
    EXPECT_EQ(state(slot), NAUDIO_STREAM_STATE_STANDBY);
    ASSERT_EQ(write(slot), 0);
    EXPECT_EQ(state(slot), NAUDIO_STREAM_STATE_ACTIVE);
    EXPECT_NE(sinkInput(slot), nullptr);
}

void renameClient(void *argument, void *, NAudioHookSlot *)
{
    char **name = static_cast<char **>(argument);
    g_free(*name);
    *name = g_strdup("ferry-test-client");
}

TEST_F(AudioCoreTest, ConnectHookNamesTheClientAndLatencyIsMeasured)
{
    NAudioCore *other = naudio_core_new();
    NAudioHookSlot *slot = naudio_hook_connect(naudio_core_hook(other), NAUDIO_HOOK_CONNECT, renameClient, nullptr);
    NAudioHandle *h2 = naudio_audio_new(other);
    naudio_core_set_audio(other, h2);
    EXPECT_TRUE(log.saw("audio: Connecting ferry-test-client"));
    const int out = naudio_audio_open_output(h2, 1, 0, NAUDIO_STREAM_TYPE_PRIMARY, RATE, STEREO);
    EXPECT_EQ(naudio_audio_output_latency(h2, out), 100) << "nothing measured yet";
    std::vector<uint8_t> data(CHUNK * 10, 0);
    ASSERT_EQ(naudio_audio_output_write(h2, out, data.data(), data.size()), 0);
    const auto inputs = s_server->list("sink-inputs");
    ASSERT_EQ(inputs.size(), 1u);
    EXPECT_EQ(inputs[0].properties.at("application.name"), "ferry-test-client");
    EXPECT_EQ(inputs[0].properties.at("media.name"), "primary");
    EXPECT_TRUE(waitFor([&] { return naudio_audio_output_latency(h2, out) != 100; }));
    naudio_hook_slot_free(slot);
    naudio_core_free(other);
}

TEST_F(AudioCoreTest, UnsupportedChannelMasksOpenButOnlyValidStreamsPlay)
{
    const int none = naudio_audio_open_output(h, 1, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, 0);
    ASSERT_EQ(none, 0);
    EXPECT_TRUE(log.saw("audio: Open with channel mask 0000000000 not supported."));
    ASSERT_EQ(write(none, CHUNK * 500), 0);
    EXPECT_TRUE(log.saw("audio: Failed to connect io_handle(1) to PulseAudio"));
    EXPECT_EQ(sinkInputCount(), 0u);
    EXPECT_EQ(naudio_audio_test_music_active(h), 0) << "no stream, no music";

    const int noRate = naudio_audio_open_output(h, 2, 0, NAUDIO_STREAM_TYPE_MUSIC, 0, STEREO);
    ASSERT_EQ(write(noRate, CHUNK * 500), 0);
    EXPECT_EQ(sinkInputCount(), 0u);

    const int three = naudio_audio_open_output(h, 3, 0, NAUDIO_STREAM_TYPE_PRIMARY, RATE, 0x7);
    EXPECT_TRUE(log.saw("audio: Open with channel mask 0x00000007 not supported."));
    ASSERT_EQ(write(three, CHUNK / 4 * 6), 0);
    EXPECT_NE(sinkInput(three), nullptr);

    const int input = naudio_audio_open_input(h, 4, 0, 0, RATE, 0, 1, CHUNK);
    std::vector<uint8_t> buffer(64, 0xee);
    EXPECT_EQ(naudio_audio_input_read(h, input, buffer.data(), buffer.size()), 64);
    EXPECT_EQ(buffer, std::vector<uint8_t>(64, 0));
}

TEST_F(AudioCoreTest, SystemSoundsAreSilentWhileMusicIsConnected)
{
    const int system = naudio_audio_open_output(h, 1, 0, NAUDIO_STREAM_TYPE_SYSTEM, RATE, STEREO);
    const int music = naudio_audio_open_output(h, 2, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    ASSERT_EQ(write(system), 0);
    ASSERT_NE(sinkInput(system), nullptr);

    ASSERT_EQ(write(music), 0);
    ASSERT_NE(sinkInput(music), nullptr);
    EXPECT_EQ(sinkInput(system), nullptr) << "music switched system sounds off";
    EXPECT_EQ(state(system), NAUDIO_STREAM_STATE_DISABLED);
    EXPECT_TRUE(log.saw("audio: Disable system sounds."));
    ASSERT_EQ(write(system), 0);
    EXPECT_EQ(sinkInputCount(), 1u);

    naudio_audio_output_standby(h, music);
    EXPECT_TRUE(log.saw("audio: Enable system sounds."));
    EXPECT_EQ(state(system), 0u);
    ASSERT_EQ(write(system), 0);
    EXPECT_NE(sinkInput(system), nullptr);

    // Switched off by request, with the same effect.
    naudio_audio_req_system_sounds(h, 0);
    EXPECT_EQ(sinkInputCount(), 0u);
    ASSERT_EQ(write(system), 0);
    EXPECT_EQ(sinkInputCount(), 0u);
    naudio_audio_req_system_sounds(h, 1);
    ASSERT_EQ(write(system), 0);
    EXPECT_NE(sinkInput(system), nullptr);
}

TEST_F(AudioCoreTest, SecondMusicStreamKeepsSystemSoundsOff)
{
    const int system = naudio_audio_open_output(h, 1, 0, NAUDIO_STREAM_TYPE_SYSTEM, RATE, STEREO);
    const int musicA = naudio_audio_open_output(h, 2, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int musicB = naudio_audio_open_output(h, 3, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    ASSERT_EQ(write(musicA), 0);
    ASSERT_EQ(write(musicB), 0);
    naudio_audio_output_standby(h, musicA);
    EXPECT_EQ(naudio_audio_test_music_active(h), 1);
    ASSERT_EQ(write(system), 0);
    EXPECT_EQ(sinkInput(system), nullptr) << "music still plays on the other stream";
    naudio_audio_output_standby(h, musicB);
    ASSERT_EQ(write(system), 0);
    EXPECT_NE(sinkInput(system), nullptr);
}

TEST_F(AudioCoreTest, VoipLetsOnlyVoicePlayAndAudioCanBeSwitchedOff)
{
    const int music = naudio_audio_open_output(h, 5, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int voice = naudio_audio_open_output(h, 6, 0, NAUDIO_STREAM_TYPE_VOICE, RATE, MONO);
    const int input = naudio_audio_open_input(h, 7, 0, 0, RATE, STEREO, 1, CHUNK);
    ASSERT_EQ(write(music), 0);
    std::vector<uint8_t> buffer(CHUNK, 0xee);
    ASSERT_EQ(naudio_audio_input_read(h, input, buffer.data(), buffer.size()), static_cast<int64_t>(CHUNK));
    EXPECT_EQ(s_server->list("source-outputs").size(), 1u);

    naudio_audio_req_voip(h, 1);
    EXPECT_TRUE(log.saw("audio: Enable voip."));
    EXPECT_EQ(sinkInputCount(), 0u);
    EXPECT_EQ(s_server->list("source-outputs").size(), 0u);
    // Far more than the server buffers: must still return at once (dropped).
    ASSERT_EQ(write(music, CHUNK * 500), 0);
    EXPECT_EQ(sinkInputCount(), 0u);
    ASSERT_EQ(write(voice), 0);
    EXPECT_NE(sinkInput(voice), nullptr);
    naudio_audio_req_voip(h, 0);
    EXPECT_TRUE(log.saw("audio: Disable voip."));
    ASSERT_EQ(write(music), 0);
    EXPECT_NE(sinkInput(music), nullptr);

    naudio_audio_req_enable_audio(h, 0);
    EXPECT_TRUE(log.saw("audio: Disable ALL audio."));
    EXPECT_EQ(sinkInputCount(), 0u);
    ASSERT_EQ(write(voice, CHUNK * 500), 0);
    EXPECT_EQ(sinkInputCount(), 0u);
    std::fill(buffer.begin(), buffer.end(), 0xee);
    EXPECT_EQ(naudio_audio_input_read(h, input, buffer.data(), buffer.size()), static_cast<int64_t>(CHUNK));
    EXPECT_EQ(buffer, std::vector<uint8_t>(CHUNK, 0));
    EXPECT_EQ(s_server->list("source-outputs").size(), 0u);
    naudio_audio_req_enable_audio(h, 1);
    ASSERT_EQ(write(music), 0);
    EXPECT_NE(sinkInput(music), nullptr);
}

TEST_F(AudioCoreTest, PhoneStreamCorksMusicThroughServerPolicy)
{
    const int music = naudio_audio_open_output(h, 20, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int voice = naudio_audio_open_output(h, 21, 0, NAUDIO_STREAM_TYPE_VOICE, RATE, STEREO);
    ASSERT_EQ(write(music), 0);
    ASSERT_EQ(write(voice), 0);
    ASSERT_EQ(sinkInput(voice)->properties.at("media.role"), "phone");

    ASSERT_TRUE(waitFor([&] { return countEvents(NAUDIO_HOOK_STREAM_CORK, 20, NAUDIO_STREAM_STATE_CORKED) == 1; }));
    EXPECT_TRUE(log.saw("got event 'request-cork'"));
    EXPECT_TRUE(state(music) & NAUDIO_STREAM_STATE_CORKED);
    EXPECT_TRUE(waitFor([&] { return sinkInput(music) && sinkInput(music)->corked; }));
    // Deferred hooks run on the thread that runs the GLib main loop.
    for (const auto &e : events)
        EXPECT_EQ(e.thread, std::this_thread::get_id());
    // A corked stream that has no room drops the rest instead of blocking.
    ASSERT_EQ(write(music, CHUNK * 500), 0);

    // The phone stream ends: the server asks to uncork.
    naudio_audio_output_standby(h, voice);
    ASSERT_TRUE(waitFor([&] { return countEvents(NAUDIO_HOOK_STREAM_CORK, 20, 0) == 1; }));
    EXPECT_FALSE(state(music) & NAUDIO_STREAM_STATE_CORKED);
    EXPECT_TRUE(waitFor([&] { return sinkInput(music) && !sinkInput(music)->corked; }));
}

TEST_F(AudioCoreTest, UncorkInStandbyDisconnects)
{
    const int music = naudio_audio_open_output(h, 30, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int voice = naudio_audio_open_output(h, 31, 0, NAUDIO_STREAM_TYPE_VOICE, RATE, STEREO);
    ASSERT_EQ(write(music), 0);
    ASSERT_EQ(write(voice), 0);
    ASSERT_TRUE(waitFor([&] { return countEvents(NAUDIO_HOOK_STREAM_CORK, 30, NAUDIO_STREAM_STATE_CORKED) == 1; }));

    naudio_audio_output_standby(h, music);
    EXPECT_TRUE(log.saw("corked, don't disconnect."));
    EXPECT_EQ(state(music), NAUDIO_STREAM_STATE_CORKED | NAUDIO_STREAM_STATE_STANDBY);
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_INACTIVE, 30), 1u);
    EXPECT_NE(sinkInput(music), nullptr);

    naudio_audio_output_standby(h, voice);
    ASSERT_TRUE(waitFor([&] { return countEvents(NAUDIO_HOOK_STREAM_RELEASE, 30) == 1; }));
    EXPECT_TRUE(log.saw("audio: [music] Disconnected stream uncorked."));
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_CORK, 30, 0), 0u) << "disconnected, not uncorked";
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_STOP, 30), 0u);
    EXPECT_EQ(state(music), 0u);
    EXPECT_EQ(sinkInputCount(), 0u);
}

TEST_F(AudioCoreTest, RequestStopDisconnectsUntilStandby)
{
    const int music = naudio_audio_open_output(h, 40, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    ASSERT_EQ(write(music), 0);

    naudio_audio_test_stream_event(h, NAUDIO_TEST_OUTPUT, music, "request-stop", 1);
    EXPECT_TRUE(log.saw("audio: Stream event pa_stream* mismatch"));
    EXPECT_EQ(state(music), NAUDIO_STREAM_STATE_ACTIVE);
    naudio_audio_test_stream_event(h, NAUDIO_TEST_OUTPUT, music, "something-else", 0);
    EXPECT_EQ(state(music), NAUDIO_STREAM_STATE_ACTIVE);

    naudio_audio_test_stream_event(h, NAUDIO_TEST_OUTPUT, music, "request-stop", 0);
    EXPECT_TRUE(state(music) & NAUDIO_STREAM_STATE_STOPPED);
    EXPECT_TRUE(log.saw("audio: [music] Disconnect stream"));
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_STOP, 40), 0u) << "deferred to the main loop";
    ASSERT_TRUE(waitFor([&] { return countEvents(NAUDIO_HOOK_STREAM_STOP, 40) == 1; }));
    EXPECT_EQ(sinkInputCount(), 0u);
    EXPECT_EQ(state(music), NAUDIO_STREAM_STATE_STOPPED);

    ASSERT_EQ(write(music, CHUNK * 500), 0);
    EXPECT_EQ(sinkInputCount(), 0u) << "a stopped stream drops writes";
    naudio_audio_output_standby(h, music);
    EXPECT_FALSE(state(music) & NAUDIO_STREAM_STATE_STOPPED);
    ASSERT_EQ(write(music), 0);
    EXPECT_NE(sinkInput(music), nullptr);

    // A stop whose disconnect arrives after the stream was replaced leaves
    // the new stream alone.
    naudio_audio_test_stream_event(h, NAUDIO_TEST_OUTPUT, music, "request-stop", 0);
    naudio_audio_output_standby(h, music);
    ASSERT_EQ(write(music), 0);
    pump();
    EXPECT_NE(sinkInput(music), nullptr);
}

TEST_F(AudioCoreTest, CorkRequestsFromPolicy)
{
    const int music = naudio_audio_open_output(h, 50, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    naudio_audio_req_cork(h, 50, 1);
    EXPECT_TRUE(log.saw("audio: Stream cork error"));
    naudio_audio_req_cork(h, 77, 1);
    EXPECT_TRUE(log.saw("audio: Unknown io_handle 77"));

    ASSERT_EQ(write(music), 0);
    naudio_audio_req_cork(h, 50, 1);
    naudio_audio_req_cork(h, 50, 1);
    EXPECT_TRUE(log.saw("audio: [music] Cork request when stream is already corked."));
    EXPECT_TRUE(waitFor([&] { return sinkInput(music) && sinkInput(music)->corked; }));
    naudio_audio_req_cork(h, 50, 0);
    naudio_audio_req_cork(h, 50, 0);
    EXPECT_TRUE(log.saw("audio: [music] Uncork request when stream is already uncorked."));
    EXPECT_TRUE(waitFor([&] { return sinkInput(music) && !sinkInput(music)->corked; }));
    ASSERT_TRUE(waitFor([&] { return countEvents(NAUDIO_HOOK_STREAM_CORK, 50) == 2; }));
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_CORK, 50, NAUDIO_STREAM_STATE_CORKED), 1u);
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_CORK, 50, 0), 1u);
}

TEST_F(AudioCoreTest, PendingHooksDieWithTheHandle)
{
    const int music = naudio_audio_open_output(h, 60, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    ASSERT_EQ(write(music), 0);
    naudio_audio_req_cork(h, 60, 1);
    naudio_audio_test_stream_event(h, NAUDIO_TEST_OUTPUT, music, "request-stop", 0);
    // Freed with two idle sources pending; they must never run.
    naudio_core_set_audio(core, nullptr);
    h = nullptr;
    pump();
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_CORK, 60), 0u);
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_STOP, 60), 0u);
}

TEST_F(AudioCoreTest, RecordReadsFillTheRequest)
{
    const int input = naudio_audio_open_input(h, 70, 0, 0, RATE, STEREO, 1, CHUNK);
    ASSERT_EQ(input, 0);
    EXPECT_EQ(naudio_audio_test_overrun_capacity(h, input), 4u * CHUNK);
    EXPECT_EQ(naudio_audio_input_channel_count(h, input), 2);
    // Guard bytes after the request must stay untouched.
    std::vector<uint8_t> buffer(CHUNK + 64, 0xee);
    for (int i = 0; i < 5; i++)
        ASSERT_EQ(naudio_audio_input_read(h, input, buffer.data(), CHUNK), static_cast<int64_t>(CHUNK));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + CHUNK, buffer.end()), std::vector<uint8_t>(64, 0xee));
    const auto outputs = s_server->list("source-outputs");
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].properties.at("media.name"), "record");
    EXPECT_EQ(state(input, NAUDIO_TEST_INPUT), NAUDIO_STREAM_STATE_ACTIVE);
    EXPECT_FALSE(log.saw("Overrun buffer maxed")) << "fragments must fit what a read leaves over";

    // Odd request sizes go through the remainder buffer without loss of
    // count; nothing beyond its capacity is ever stored.
    for (size_t n : {size_t(7), size_t(333), CHUNK * 3, size_t(1)}) {
        std::vector<uint8_t> odd(n + 16, 0xee);
        ASSERT_EQ(naudio_audio_input_read(h, input, odd.data(), n), static_cast<int64_t>(n));
        EXPECT_EQ(std::vector<uint8_t>(odd.begin() + n, odd.end()), std::vector<uint8_t>(16, 0xee));
        EXPECT_LE(naudio_audio_test_overrun_available(h, input), 4u * CHUNK);
    }

    naudio_audio_input_standby(h, input);
    EXPECT_TRUE(waitFor([&] { return s_server->list("source-outputs").empty(); }));
    EXPECT_EQ(countEvents(NAUDIO_HOOK_STREAM_RELEASE, 70), 1u);
    naudio_audio_input_close(h, input);
    EXPECT_EQ(naudio_audio_stream_direction(h, 70), NAUDIO_STREAM_DIRECTION_UNKNOWN);
}

TEST_F(AudioCoreTest, TinyRemainderBufferAnswersSilence)
{
    // 4 x 4 bytes cannot hold what is left of a server fragment.
    const int input = naudio_audio_open_input(h, 80, 0, 0, RATE, STEREO, 1, 4);
    std::vector<uint8_t> buffer(4, 0xee);
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(naudio_audio_input_read(h, input, buffer.data(), buffer.size()), 4);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4, 0));
    EXPECT_TRUE(log.saw("audio: [record] Overrun buffer maxed, resetting. (there will be a gap in audio)"));
    EXPECT_EQ(naudio_audio_test_overrun_available(h, input), 0u);
}

// What is played comes back through the sink's monitor, in order, whatever
// the read sizes: nothing of a fragment is lost or repeated across reads.
TEST_F(AudioCoreTest, RecordedDataStaysInOrderAcrossOddReads)
{
    s_server->pactl("set-default-source null.monitor");
    const int out = naudio_audio_open_output(h, 90, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int in = naudio_audio_open_input(h, 91, 0, 0, RATE, STEREO, 1, CHUNK);

    constexpr int CYCLE = 30000;
    int next = 0;
    auto chunk = [&] {
        std::vector<int16_t> pcm(CHUNK / 2);
        for (size_t i = 0; i < pcm.size(); i += 2) {
            pcm[i] = pcm[i + 1] = static_cast<int16_t>(1 + next);
            next = (next + 1) % CYCLE;
        }
        return pcm;
    };
    std::vector<uint8_t> recorded;
    const size_t sizes[] = {333 * 4, 7 * 4, CHUNK, 1001 * 4, CHUNK / 2, 3 * CHUNK / 2};
    for (int i = 0; i < 60; i++) {
        const auto pcm = chunk();
        ASSERT_EQ(naudio_audio_output_write(h, out, pcm.data(), CHUNK), 0);
        std::vector<uint8_t> buffer(sizes[i % 6]);
        ASSERT_EQ(naudio_audio_input_read(h, in, buffer.data(), buffer.size()), static_cast<int64_t>(buffer.size()));
        recorded.insert(recorded.end(), buffer.begin(), buffer.end());
    }
    s_server->pactl("set-default-source silence");
    EXPECT_FALSE(log.saw("Overrun buffer maxed"));

    // Frames of silence may come from the server; played frames must follow
    // each other without a gap or a repeat.
    std::vector<int16_t> frames(recorded.size() / 2);
    memcpy(frames.data(), recorded.data(), frames.size() * 2);
    int previous = -1;
    size_t played = 0, broken = 0;
    for (size_t i = 0; i + 1 < frames.size(); i += 2) {
        if (!frames[i])
            continue;
        EXPECT_EQ(frames[i], frames[i + 1]);
        if (previous >= 0 && frames[i] != previous % CYCLE + 1)
            broken++;
        previous = frames[i];
        played++;
    }
    EXPECT_GT(played, RATE / 2) << "at least half a second came back";
    EXPECT_EQ(broken, 0u);
}

// Without a server: nothing blocks, writes are dropped, reads are silence,
// and the connection is tried again after the back-off.
TEST(AudioCoreNoServerTest, DropsUntilTheServerComesAndRetriesAfterBackOff)
{
    LogCapture log;
    PrivatePulseServer server;
    server.exportToEnvironment();
    NAudioHandle *h = naudio_audio_new(nullptr);
    EXPECT_FALSE(naudio_audio_test_connected(h));
    EXPECT_TRUE(log.saw("audio: Connection to PulseAudio failed."));
    EXPECT_EQ(naudio_audio_test_retry_counter(h), 1);

    const int out = naudio_audio_open_output(h, 1, 0, NAUDIO_STREAM_TYPE_MUSIC, RATE, STEREO);
    const int in = naudio_audio_open_input(h, 2, 0, 0, RATE, STEREO, 1, CHUNK);
    ASSERT_EQ(out, 0);
    ASSERT_EQ(in, 0);
    std::vector<uint8_t> data(CHUNK * 500, 0);
    EXPECT_EQ(naudio_audio_output_write(h, out, data.data(), data.size()), 0);
    std::vector<uint8_t> buffer(CHUNK, 0xee);
    EXPECT_EQ(naudio_audio_input_read(h, in, buffer.data(), buffer.size()), static_cast<int64_t>(CHUNK));
    EXPECT_EQ(buffer, std::vector<uint8_t>(CHUNK, 0));
    EXPECT_EQ(naudio_audio_test_retry_counter(h), 5);

    ASSERT_TRUE(server.start());
    // Counter is at 5: calls 6..39 still wait, the next one connects.
    for (int i = 5; i < 39; i++) {
        EXPECT_EQ(naudio_audio_output_write(h, out, data.data(), CHUNK), 0);
        ASSERT_FALSE(naudio_audio_test_connected(h)) << "call " << i;
    }
    EXPECT_EQ(naudio_audio_output_write(h, out, data.data(), CHUNK), 0);
    EXPECT_TRUE(naudio_audio_test_connected(h));
    EXPECT_EQ(naudio_audio_test_retry_counter(h), 0);
    EXPECT_EQ(server.list("sink-inputs").size(), 1u);

    // The server goes away under a connected stream: still nothing blocks.
    server.stop();
    EXPECT_EQ(naudio_audio_output_write(h, out, data.data(), data.size()), 0);
    for (int i = 0; i < 1000 && naudio_audio_test_connected(h); i++)
        usleep(5000);
    EXPECT_FALSE(naudio_audio_test_connected(h));
    EXPECT_EQ(naudio_audio_output_write(h, out, data.data(), data.size()), 0);
    EXPECT_EQ(naudio_audio_input_read(h, in, buffer.data(), buffer.size()), static_cast<int64_t>(CHUNK));
    naudio_audio_free(h);
}

} // namespace
