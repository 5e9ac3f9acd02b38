// The halcyon plugin loaded as the service loads it, against a private
// system bus with the host's resource manager, profile daemon, MCE and
// route manager stand-ins, and a private PulseAudio server.
#include "fakemce.h"
#include "fakeprofiled.h"
#include "fakeresourcemanager.h"
#include "fakeroutemanager.h"
#include "plugin-int.h"
#include "private-pulse-server.h"
#include "privatebus.h"
#include "systemserver.h"

#include <audiolog/audiolog.h>
#include <naudio/audio.h>
#include <naudio/core.h>
#include <naudio/hook.h>
#include <resourcepolicy/resourceset.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <glib.h>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr size_t kChunk = 3840;

std::mutex g_logMutex;
std::vector<std::string> g_log;

void capture(int, const char *line, void *)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_log.emplace_back(line);
}

int logCount(const std::string &text)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    int n = 0;
    for (const std::string &line : g_log)
        n += line.find(text) != std::string::npos;
    return n;
}

// Runs the main context (where the plugin's bus traffic is dispatched)
// until |done| holds. The limit is generous: CI runs the unit tests two at
// a time, and on a loaded machine the private servers answer late.
bool spinUntil(const std::function<bool()> &done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        QThread::msleep(5);
    }
    return true;
}

void spinFor(int ms)
{
    spinUntil([] { return false; }, ms);
}

// The stand-ins serve from a thread of their own; the policy signal is
// observed there too.
class HostServices : public QObject
{
    Q_OBJECT

public:
    explicit HostServices(const QString &address)
        : m_connection(QDBusConnection::connectToBus(address, "host-services"))
        , resources(m_connection)
        , profiled(m_connection)
        , mce(m_connection)
        , routes(m_connection)
    {
        m_connection.connect(QString(), "/", "org.nemomobile.policy", "privatePolicyActiveAppsupportChanged", this,
                             SLOT(onPolicy(QString)));
    }
    QStringList policySignals() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_policy;
    }

public Q_SLOTS:
    void onPolicy(const QString &appId)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_policy << appId;
    }

private:
    QDBusConnection m_connection;
    mutable std::mutex m_mutex;
    QStringList m_policy;

public:
    FakeResourceManager resources;
    FakeProfiled profiled;
    FakeMce mce;
    FakeRouteManager routes;
};

class HalcyonTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_pulse = new PrivatePulseServer;
        PrivateBus::Options options;
        options.type = "system";
        s_bus = new PrivateBus(options);
        s_thread = new QThread;
        s_thread->start();
        s_threadContext = new QObject;
        s_threadContext->moveToThread(s_thread);
        if (!s_pulse->start() || !s_bus->isRunning())
            return;
        s_pulse->exportToEnvironment();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", s_bus->address().toUtf8());
        QMetaObject::invokeMethod(
            s_threadContext, [] { s_host = new HostServices(s_bus->address()); }, Qt::BlockingQueuedConnection);
    }
    static void TearDownTestSuite()
    {
        QMetaObject::invokeMethod(
            s_threadContext, [] { delete s_host; s_host = nullptr; delete s_threadContext; }, Qt::BlockingQueuedConnection);
        s_thread->quit();
        s_thread->wait();
        delete s_thread;
        delete s_bus;
        delete s_pulse;
    }

    void SetUp() override
    {
        ASSERT_NE(s_host, nullptr) << "no PulseAudio server or bus";
        {
            std::lock_guard<std::mutex> lock(g_logMutex);
            g_log.clear();
        }
        audiolog_set_func(capture, nullptr);
        for (RecordingService *s : std::initializer_list<RecordingService *>{&s_host->resources, &s_host->profiled,
                                                                             &s_host->mce, &s_host->routes})
            s->clear();
        s_host->resources.setGranted("player", true);
        s_host->resources.setGranted("novumcall", true);
        plugin = naudio_plugin_int_open(HALCYON_PLUGIN_PATH);
        ASSERT_NE(plugin, nullptr);
        core = naudio_core_new();
        ASSERT_TRUE(naudio_plugin_int_init(core, plugin));
        naudio_core_set_audio(core, naudio_audio_new(core));
        focusSlot = naudio_hook_connect(naudio_core_hook(core), NAUDIO_HOOK_REQ_AUDIO_FOCUS, onFocus, &focus);
        invokeValue(NAUDIO_HOOK_SERVICE_START, 0);
    }
    void TearDown() override
    {
        if (plugin) {
            naudio_plugin_int_done(plugin);
            naudio_plugin_int_close(plugin);
        }
        naudio_hook_slot_free(focusSlot);
        naudio_core_free(core);
        audiolog_set_func(nullptr, nullptr);
    }

    static void onFocus(void *argument, void *data, NAudioHookSlot *)
    {
        const auto *f = static_cast<const NAudioHookAudioFocus *>(argument);
        static_cast<std::vector<std::pair<int, int>> *>(data)->emplace_back(int(f->focus_type), int(f->acquire));
    }
    void invokeValue(unsigned hook, intptr_t value) { naudio_hook_invoke(naudio_core_hook(core), hook, reinterpret_cast<void *>(value)); }
    void invokeText(unsigned hook, const char *text) { naudio_hook_invoke(naudio_core_hook(core), hook, const_cast<char *>(text)); }
    NAudioHandle *audio() { return naudio_core_audio(core); }
    int play(int ioHandle, uint32_t flags)
    {
        const int slot = naudio_audio_open_output(audio(), ioHandle, 2, flags, 48000, 3);
        std::vector<char> silence(kChunk);
        naudio_audio_output_write(audio(), slot, silence.data(), silence.size());
        return slot;
    }
    QVariantList lastArgs(RecordingService &s, const QString &member)
    {
        const auto calls = s.calls(member);
        return calls.isEmpty() ? QVariantList() : calls.last().arguments;
    }
    bool waitForCall(RecordingService &s, const QString &member, int count = 1)
    {
        return spinUntil([&] { return s.calls(member).size() >= count; });
    }

    static PrivatePulseServer *s_pulse;
    static PrivateBus *s_bus;
    static QThread *s_thread;
    static QObject *s_threadContext;
    static HostServices *s_host;
    NAudioPluginInt *plugin = nullptr;
    NAudioCore *core = nullptr;
    NAudioHookSlot *focusSlot = nullptr;
    std::vector<std::pair<int, int>> focus;
};

PrivatePulseServer *HalcyonTest::s_pulse = nullptr;
PrivateBus *HalcyonTest::s_bus = nullptr;
QThread *HalcyonTest::s_thread = nullptr;
QObject *HalcyonTest::s_threadContext = nullptr;
HostServices *HalcyonTest::s_host = nullptr;

TEST_F(HalcyonTest, MusicHoldsTheMediaSetAndADenialPausesAndroid)
{
    ASSERT_TRUE(waitForCall(s_host->resources, "audio"));
    const QVariantList reg = lastArgs(s_host->resources, "register");
    ASSERT_EQ(reg.size(), 5);
    EXPECT_EQ(reg[1].toString(), "player");
    EXPECT_EQ(reg[2].toUInt(), 5u);
    EXPECT_EQ(reg[3].toUInt(), 0u);
    const QVariantList audioArgs = lastArgs(s_host->resources, "audio");
    EXPECT_EQ(audioArgs.value(1).toString(), "music");
    EXPECT_EQ(audioArgs.value(2).toUInt(), uint(getpid()));
    EXPECT_EQ(audioArgs.value(3).toString(), "music");

    const int slot = play(13, NAUDIO_STREAM_TYPE_MUSIC);
    ASSERT_TRUE(waitForCall(s_host->resources, "acquire"));
    EXPECT_TRUE(spinUntil([] { return logCount("halcyon: Media resource set grant 5") == 1; }));
    EXPECT_TRUE(focus.empty());
    naudio_audio_output_standby(audio(), slot);
    EXPECT_TRUE(waitForCall(s_host->resources, "release"));

    // Denied: Android is asked to pause (transient focus).
    s_host->resources.setGranted("player", false);
    play(14, NAUDIO_STREAM_TYPE_MUSIC);
    EXPECT_TRUE(spinUntil([] { return logCount("halcyon: Media resource set grant 0") == 1; }));
    EXPECT_EQ(focus, (std::vector<std::pair<int, int>>{{2, 1}}));
}

TEST_F(HalcyonTest, StreamsCarryTheHostsRolesAndVolumeKeys)
{
    const struct {
        uint32_t type;
        const char *role;
        const char *restoreId;
    } cases[] = {
        {NAUDIO_STREAM_TYPE_VOICE, "phone", "sink-input-by-media-role:voip"},
        {NAUDIO_STREAM_TYPE_RING, "ring", "x-ringtone-volume"},
        {NAUDIO_STREAM_TYPE_ALARM, "event", "x-clock-alert-volume"},
        {NAUDIO_STREAM_TYPE_NOTIFICATION, "event", "x-ringtone-volume"},
        {NAUDIO_STREAM_TYPE_MUSIC, nullptr, nullptr},
    };
    int ioHandle = 30;
    for (const auto &c : cases) {
        const int slot = play(ioHandle, c.type);
        const auto inputs = s_pulse->list("sink-inputs");
        ASSERT_EQ(inputs.size(), 1u) << c.type;
        const auto &p = inputs[0].properties;
        EXPECT_EQ(p.count("media.role") ? p.at("media.role") : "", c.role ? c.role : "") << c.type;
        EXPECT_EQ(p.count("module-stream-restore.id") ? p.at("module-stream-restore.id") : "",
                  c.restoreId ? c.restoreId : "")
            << c.type;
        if (c.type == NAUDIO_STREAM_TYPE_RING) {
            EXPECT_EQ(p.at("event.id"), "phone-incoming-call");
        }
        naudio_audio_output_close(audio(), slot);
        ++ioHandle;
    }
}

TEST_F(HalcyonTest, InCommunicationTakesTheVoiceSetCallStateAndSpeaker)
{
    invokeValue(NAUDIO_HOOK_SET_MODE, 3);
    ASSERT_TRUE(waitForCall(s_host->mce, "req_call_state_change")) << "no call state";
    EXPECT_EQ(lastArgs(s_host->mce, "req_call_state_change"), (QVariantList{"active", "normal"}));
    EXPECT_EQ(s_host->mce.calls().last().path, "/com/nokia/mce/request");
    EXPECT_EQ(s_host->mce.calls().last().interface, "com.nokia.mce.request");
    EXPECT_TRUE(logCount("audio: Enable voip.") == 1);
    EXPECT_TRUE(waitForCall(s_host->routes, "Disable"));
    const auto registrations = s_host->resources.calls("register");
    EXPECT_EQ(registrations.last().arguments.value(1).toString(), "novumcall");
    EXPECT_GE(s_host->resources.calls("unregister").size(), 1);   // the media set went

    // The speaker follows "routing=2" among the pairs, and only that value.
    const struct {
        const char *parameters;
        const char *member;
        int count;
    } speaker[] = {{"x=1;routing=2;y=3", "Enable", 1}, {"routing=20", "Disable", 2}, {"routing=2", "Enable", 2}};
    for (const auto &s : speaker) {
        invokeText(NAUDIO_HOOK_SET_PARAMETERS, s.parameters);
        EXPECT_TRUE(waitForCall(s_host->routes, s.member, s.count)) << s.parameters;
        EXPECT_EQ(lastArgs(s_host->routes, s.member), QVariantList{"speaker"});
    }

    // In call (2): the voice set goes, no call state is sent, media comes back.
    const int callStates = s_host->mce.calls("req_call_state_change").size();
    invokeValue(NAUDIO_HOOK_SET_MODE, 2);
    EXPECT_TRUE(spinUntil([] { return logCount("halcyon: Release voice resource set") == 1; }));
    EXPECT_TRUE(spinUntil([] { return logCount("MCE set_call_state(<no change>)") == 1; }));
    spinFor(200);
    EXPECT_EQ(s_host->mce.calls("req_call_state_change").size(), callStates);
    EXPECT_EQ(logCount("halcyon: Setup media resource set"), 2);

    invokeValue(NAUDIO_HOOK_SET_MODE, 0);
    EXPECT_TRUE(waitForCall(s_host->mce, "req_call_state_change", callStates + 1));
    EXPECT_EQ(lastArgs(s_host->mce, "req_call_state_change"), (QVariantList{"none", "normal"}));
}

TEST_F(HalcyonTest, AHostCallSilencesAndroidUntilThreeSecondsAfterIt)
{
    invokeValue(NAUDIO_HOOK_CALL_STATE_CHANGED, 2);
    EXPECT_EQ(logCount("audio: Disable ALL audio."), 1);
    // Mode and parameter changes during the call are ignored.
    invokeValue(NAUDIO_HOOK_SET_MODE, 3);
    spinFor(100);
    EXPECT_EQ(logCount("halcyon: Evaluate routing"), 0);

    invokeValue(NAUDIO_HOOK_CALL_STATE_CHANGED, 0);
    spinFor(2000);
    EXPECT_EQ(logCount("audio: Enable ALL audio."), 0);
    EXPECT_TRUE(spinUntil([] { return logCount("audio: Enable ALL audio.") == 1; }, 20000));

    // A new call while the resume is pending keeps audio off.
    invokeValue(NAUDIO_HOOK_CALL_STATE_CHANGED, 1);
    invokeValue(NAUDIO_HOOK_CALL_STATE_CHANGED, 0);
    spinFor(1000);
    invokeValue(NAUDIO_HOOK_CALL_STATE_CHANGED, 1);
    spinFor(3500);
    EXPECT_EQ(logCount("audio: Enable ALL audio."), 1);
    EXPECT_EQ(logCount("audio: Disable ALL audio."), 2);
}

TEST_F(HalcyonTest, ProfileSoundLevelSwitchesSystemSounds)
{
    const struct {
        const char *level;
        const char *line;
    } cases[] = {{"0", "halcyon: touchscreen.sound.level -> 0"}, {"3", "halcyon: touchscreen.sound.level -> 3"}};
    for (const auto &c : cases) {
        s_host->profiled.setValue("touchscreen.sound.level", c.level);
        EXPECT_TRUE(spinUntil([&] { return logCount(c.line) >= 1; })) << c.level;
    }
    // A system sound while the level is 0 is not played.
    s_host->profiled.setValue("touchscreen.sound.level", "0");
    ASSERT_TRUE(spinUntil([] { return logCount("halcyon: touchscreen.sound.level -> 0") == 2; }));
    play(50, NAUDIO_STREAM_TYPE_SYSTEM);
    EXPECT_TRUE(s_pulse->list("sink-inputs").empty());
}

TEST_F(HalcyonTest, TellsThePolicyWhichProcessIsSystemServer)
{
    // A real process of that name for pidof to find.
    QTemporaryDir dir;
    const QString program = dir.filePath("system_server");
    ASSERT_TRUE(QFile::copy("/bin/sleep", program));
    QProcess server;
    server.start(program, {"60"});
    ASSERT_TRUE(server.waitForStarted());

    // Earlier cases' plugins said "none" when they were done.
    const auto appIds = [] { return s_host->policySignals().filter(QRegularExpression("^(?!none$)")); };
    const int before = s_host->policySignals().size();
    invokeValue(NAUDIO_HOOK_SERVICE_REGISTERED, 1);
    ASSERT_TRUE(spinUntil([&] { return !appIds().isEmpty(); }, 20000));
    char *expected = resource_application_id(pid_t(server.processId()));
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(appIds(), QStringList{QString::fromUtf8(expected)});
    EXPECT_EQ(logCount("halcyon: system_server appeared with pid " + std::to_string(server.processId())), 1);
    g_free(expected);

    invokeValue(NAUDIO_HOOK_SERVICE_REGISTERED, 0);
    EXPECT_TRUE(spinUntil([&] { return s_host->policySignals().size() >= before + 2; }));
    EXPECT_EQ(s_host->policySignals().last(), "none");
    server.kill();
    server.waitForFinished();
}

TEST(HalcyonSystemServer, ReadsPidofsFirstPid)
{
    const struct {
        const char *line;
        pid_t pid;
    } cases[] = {{"1234\n", 1234}, {"12 34\n", 12}, {"\n", 0}, {"abc\n", 0}, {"99999999999999999999\n", 0}, {"-5\n", 0}};
    audiolog_set_default_level(AUDIOLOG_LEVEL_NONE);
    for (const auto &c : cases)
        EXPECT_EQ(halcyon::parsePidofLine(c.line), c.pid) << c.line;
    audiolog_set_default_level(AUDIOLOG_LEVEL_DEFAULT);
    EXPECT_EQ(halcyon::pidofCandidates().front(), "/sbin/pidof");
    EXPECT_FALSE(halcyon::findPidof().empty());
}

} // namespace

#include "test_halcyon.moc"
