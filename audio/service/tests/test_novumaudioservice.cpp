// novumaudioservice as a real process in the test guest: the simulated
// Android audio HAL plays through it into a private PulseAudio server.
#include "audioserviceworld.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

const int kMusicFlags = 0x800000;
const int kPeriodBytes = 3840;   // 20 ms of 48 kHz stereo 16-bit

QJsonObject step(const char *op, QJsonObject fields = {})
{
    fields.insert("op", op);
    return fields;
}

int reply(const QJsonObject &result)
{
    return result.value("reply").toInt(-12345);
}

// One simulator and PulseAudio server for all cases (each takes seconds to
// start in the guest); every case runs a service of its own.
class NovumAudioServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_world = new AudioServiceWorld;
        s_ready = s_world->start(&s_error, "novum.audio.control");
    }
    static void TearDownTestSuite()
    {
        delete s_world;
        s_world = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_ready) << s_error.toStdString(); }
    void start(const QStringList &arguments = {"-p", "hookrecorder"}, const QString &waitFor = "Added NovumAudioService")
    {
        ASSERT_NE(world.startService(arguments, waitFor), 0) << log();
    }
    void TearDown() override
    {
        if (world.serviceRunning()) {
            EXPECT_EQ(world.stopService(), 0) << log();
        }
    }
    std::string log() const { return world.serviceLog().toStdString(); }

    static AudioServiceWorld *s_world;
    static QString s_error;
    static bool s_ready;
    AudioServiceWorld &world = *s_world;
};

AudioServiceWorld *NovumAudioServiceTest::s_world = nullptr;
QString NovumAudioServiceTest::s_error;
bool NovumAudioServiceTest::s_ready = false;

TEST_F(NovumAudioServiceTest, PlaysAStreamThroughPulseAudio)
{
    start();
    const QJsonObject listed = world.command({{"cmd", "list"}, {"device", "/dev/vndvororoveredi"}});
    EXPECT_TRUE(listed.value("names").toArray().contains(QJsonValue("NovumAudioService")));
    EXPECT_TRUE(world.waitForLog("hookrecorder: hook 7 0"));
    EXPECT_TRUE(world.waitForLog("hookrecorder: hook 8 1"));

    QList<QJsonObject> r = world.hal({step("version", {{"version", 1}}), step("version", {{"version", 0}}),
                                      step("open-output", {{"size", kPeriodBytes}, {"flags", kMusicFlags}}),
                                      step("write", {{"repeat", 10}})});
    ASSERT_EQ(r.size(), 4) << log();
    EXPECT_EQ(reply(r[0]), 0);
    EXPECT_EQ(reply(r[1]), -1);
    EXPECT_TRUE(world.waitForLog("service: Version mismatch, client requests 0, we require at least 1."));
    EXPECT_EQ(reply(r[2]), 0);
    EXPECT_EQ(r[3].value("replies").toArray(), QJsonArray{kPeriodBytes});
    EXPECT_TRUE(world.waitForLog("service: Open output io_handle(13) devices(2) flags(0x00800000) sample_rate(48000) "
                                 "channel_mask(3) format(1) -> 0"));
    EXPECT_TRUE(world.waitForLog("service: Shared buffer fd "));

    // The stream stays until standby, though the HAL's process is gone.
    const auto inputs = world.pulse().list("sink-inputs");
    ASSERT_EQ(inputs.size(), 1u) << log();
    EXPECT_EQ(inputs[0].properties.at("media.name"), "music");
    EXPECT_FALSE(inputs[0].corked);

    r = world.hal({step("standby", {{"slot", 0}}), step("latency", {{"slot", 0}}), step("close", {{"slot", 0}})});
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(reply(r[0]), 0);
    EXPECT_GT(reply(r[1]), 0);
    EXPECT_EQ(r[2].value("status").toInt(), 0);
    EXPECT_TRUE(world.pulse().list("sink-inputs").empty());
    EXPECT_TRUE(world.waitForLog("service: Output standby (0)"));
    EXPECT_TRUE(world.waitForLog("service: Output close (0)"));

    // Closing frees the slot: more streams than slots, one after another.
    QList<QJsonObject> cycle;
    for (int i = 0; i < 10; ++i) {
        cycle << step("open-output", {{"ioHandle", 100 + i}}) << step("write") << step("close");
    }
    r = world.hal(cycle);
    ASSERT_EQ(r.size(), 30);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(reply(r[3 * i]), 0) << "open " << i;

    // Mode and parameters reach the hooks.
    r = world.hal({step("mode", {{"mode", 3}}), step("parameters", {{"value", "routing=2;x=y"}})});
    EXPECT_TRUE(world.waitForLog("service: Set mode 3"));
    EXPECT_TRUE(world.waitForLog("hookrecorder: hook 9 3"));
    EXPECT_TRUE(world.waitForLog("service: Set parameters \"routing=2;x=y\""));
    EXPECT_TRUE(world.waitForLog("hookrecorder: hook 10 routing=2;x=y"));

    EXPECT_EQ(world.stopService(), 0);
    EXPECT_NE(log().find("service: Caught signal, shutting down..."), std::string::npos);
    EXPECT_NE(log().find("hookrecorder: done"), std::string::npos);
}

TEST_F(NovumAudioServiceTest, HalcyonTagsAndroidStreamsForThePolicy)
{
    // No system bus in the guest: the plugin runs without one.
    start({"-p", "halcyon"});
    EXPECT_TRUE(world.waitForLog("halcyon: init v0.6.0"));
    const struct {
        int flags;
        const char *role;
        const char *restoreId;
    } cases[] = {
        {0x100000, "phone", "sink-input-by-media-role:voip"},
        {0x400000, "ring", "x-ringtone-volume"},
        {0x1000000, "event", "x-clock-alert-volume"},
        {0x2000000, "event", "x-ringtone-volume"},
    };
    for (const auto &c : cases) {
        const QList<QJsonObject> r = world.hal({step("open-output", {{"flags", c.flags}}), step("write")});
        ASSERT_EQ(r.size(), 2) << log();
        const auto inputs = world.pulse().list("sink-inputs");
        ASSERT_EQ(inputs.size(), 1u) << c.role << "\n" << log();
        EXPECT_EQ(inputs[0].properties.at("media.role"), c.role);
        EXPECT_EQ(inputs[0].properties.at("module-stream-restore.id"), c.restoreId);
        world.hal({step("close", {{"slot", reply(r[0])}})});
    }
    EXPECT_EQ(world.stopService(), 0);
    EXPECT_NE(log().find("halcyon: done"), std::string::npos);
}

TEST_F(NovumAudioServiceTest, RefusesHostileCountsSizesSlotsAndDescriptors)
{
    start();
    struct Case {
        const char *what;
        QJsonObject step;
        int expected;
    } cases[] = {
        {"open output", step("open-output", {{"size", 4096}}), 0},
        {"write beyond the buffer", step("write", {{"slot", 0}, {"count", 4097}}), -1},
        {"negative write", step("write", {{"slot", 0}, {"count", -1}}), -1},
        {"write the whole buffer", step("write", {{"slot", 0}, {"count", 4096}}), 4096},
        {"write to slot 8", step("write", {{"slot", 8}, {"count", 16}}), -1},
        {"write to slot -1", step("write", {{"slot", -1}, {"count", 16}}), -1},
        {"write to a slot not open", step("write", {{"slot", 5}, {"count", 16}}), -1},
        {"standby of slot 9", step("standby", {{"slot", 9}}), -1},
        {"open with size 0", step("open-output", {{"ioHandle", 40}, {"size", 0}, {"objectSize", 4096}}), -1},
        {"open beyond the memfd", step("open-output", {{"ioHandle", 41}, {"size", 8192}, {"objectSize", 4096}}), -1},
        {"open with a pipe", step("open-output", {{"ioHandle", 42}, {"fd", "pipe"}}), -1},
        {"open with a plain file", step("open-output", {{"ioHandle", 43}, {"fd", "file"}}), -1},
        {"open without a descriptor", step("open-output", {{"ioHandle", 44}, {"fd", "none"}}), -1},
        {"open input", step("open-input", {{"size", 3840}}), 0},
        {"read beyond the buffer", step("read", {{"slot", 0}, {"count", 3841}}), -1},
        {"read of 4 GiB", step("read", {{"slot", 0}, {"count", 4294967295.0}}), -1},
        {"read from slot 8", step("read", {{"slot", 8}, {"count", 16}}), -1},
        {"read the whole buffer", step("read", {{"slot", 0}, {"count", 3840}}), 3840},
        {"open an unsealable memfd", step("open-output", {{"ioHandle", 45}, {"size", 8192}, {"sealable", false}}), 1},
        {"shrink it", step("shrink", {{"to", 100}}), -12345},
        {"write past its new end", step("write", {{"slot", 1}, {"count", 8192}}), -1},
        {"write within its new end", step("write", {{"slot", 1}, {"count", 100}}), 100},
        {"close of slot 9", step("close", {{"slot", 9}}), -12345},
        {"still answering", step("version", {{"version", 3}}), 0},
    };
    QList<QJsonObject> steps;
    for (const Case &c : cases)
        steps << c.step;
    const QList<QJsonObject> r = world.hal(steps);
    ASSERT_EQ(r.size(), int(std::size(cases))) << log();
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(reply(r[int(i)]), cases[i].expected) << cases[i].what << "\n" << log();
    EXPECT_TRUE(world.serviceRunning());

    // A memfd that allowed sealing cannot be shrunk once the service has it.
    const QList<QJsonObject> sealed = world.hal({step("open-output", {{"ioHandle", 46}, {"size", 4096}}),
                                                 step("shrink", {{"to", 0}})});
    ASSERT_EQ(sealed.size(), 2);
    EXPECT_GE(reply(sealed[0]), 0);
    EXPECT_FALSE(sealed[1].value("shrunk").toBool());
}

TEST_F(NovumAudioServiceTest, ConnectsToALateControlServiceAndCarriesFocus)
{
    ASSERT_TRUE(world.command({{"cmd", "withdraw"}, {"service", "novum.audio.control"}}).value("ok").toBool());
    const int before = world.transactions("novum.audio.control").size();
    start();
    ASSERT_TRUE(world.waitForLog("service: Start connect to novum.audio.control")) << log();
    // Focus asked for while nobody listens is dropped; the retry goes on.
    world.hal({step("parameters", {{"value", "hookrecorder_pause=1"}})});
    EXPECT_TRUE(world.waitForLog("service: Connect called while connecting to novum.audio.control"));

    ASSERT_TRUE(world.command({{"cmd", "publish"}, {"service", "novum.audio.control"}}).value("ok").toBool());
    EXPECT_TRUE(world.waitForLog(
        "service: Connected to novum.audio.control/android.media.INovumAudioControlService", 1, 5000));
    EXPECT_TRUE(world.waitForLog("service: Listener for android.media.INovumAudioControlListener set"));
    EXPECT_EQ(world.logCount("service: Start connect to novum.audio.control"), 1);
    EXPECT_GE(world.logCount("service: Cannot connect to novum.audio.control"), 1);

    world.hal({step("parameters", {{"value", "hookrecorder_pause=1"}}),
               step("parameters", {{"value", "hookrecorder_pause=0"}})});
    EXPECT_TRUE(world.waitForLog("service: Request audio focus release"));
    const QList<QJsonObject> calls = world.transactions("novum.audio.control").mid(before);
    ASSERT_GE(calls.size(), 3) << log();
    EXPECT_EQ(calls[0].value("code").toInt(), 3);
    EXPECT_EQ(calls[1].value("args").toArray(), (QJsonArray{"requestAudioFocus", 2}));
    EXPECT_TRUE(calls[1].value("oneway").toBool());
    EXPECT_EQ(calls[2].value("args").toArray(), QJsonArray{"abandonAudioFocus"});

    struct Case {
        int code;
        int value;
        const char *line;
        const char *hook;
    } cases[] = {
        {0x5eed0001, 1, "service: android.media.INovumAudioControlListener.onAudioFocusChanged(1)",
         "hookrecorder: hook 13 1"},
        {0x5eed0002, 2, "service: android.media.INovumAudioControlListener.onCallStateChanged(2)",
         "hookrecorder: hook 14 2"},
    };
    for (const Case &c : cases) {
        const QJsonObject answer = world.command({{"cmd", "call"},
                                                  {"service", "novum.audio.control"},
                                                  {"code", c.code},
                                                  {"args", QJsonArray{QJsonObject{{"i32", c.value}}}}});
        EXPECT_EQ(answer.value("ints").toArray(), (QJsonArray{0, 0})) << c.line;
        EXPECT_TRUE(world.waitForLog(c.line)) << log();
        EXPECT_TRUE(world.waitForLog(c.hook)) << log();
    }
}

TEST_F(NovumAudioServiceTest, RegistersAgainWhenTheVendorServiceManagerComesBack)
{
    start();
    QList<QJsonObject> r = world.hal({step("open-output"), step("write")});
    ASSERT_EQ(r.size(), 2);
    ASSERT_EQ(reply(r[0]), 0);

    ASSERT_TRUE(world.command({{"cmd", "restart-manager"}, {"device", "/dev/vndvororoveredi"}, {"downMs", 300}})
                    .value("ok").toBool());
    EXPECT_TRUE(world.waitForLog("service: Service manager has died."));
    EXPECT_TRUE(world.waitForLog("hookrecorder: hook 8 0"));
    EXPECT_TRUE(world.waitForLog("service: Service manager has reappeared."));
    EXPECT_TRUE(world.waitForLog("service: Added NovumAudioService", 2)) << log();

    // The buffers went with the old registration; the HAL opens anew.
    r = world.hal({step("write", {{"slot", 0}, {"count", 16}}), step("open-output"), step("write")});
    ASSERT_EQ(r.size(), 3) << log();
    EXPECT_EQ(reply(r[0]), -1);
    EXPECT_EQ(reply(r[1]), 0);
    EXPECT_EQ(reply(r[2]), kPeriodBytes);
}

TEST_F(NovumAudioServiceTest, TestRecordingRepeatsTheFileAtTheRealPace)
{
    QByteArray pattern;
    for (int i = 0; i < 1000; ++i)
        pattern.append(char(i * 7));
    QTemporaryDir dir;
    QFile file(dir.filePath("record.raw"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(pattern);
    file.close();
    start({"-t", file.fileName()});
    EXPECT_TRUE(world.waitForLog("service: Read 1000 bytes from " + file.fileName() + " for record testing."));

    // 100 ms of 48 kHz stereo per read, three reads.
    const QList<QJsonObject> r = world.hal({step("open-input", {{"size", 19200}}),
                                            step("read", {{"count", 19200}, {"repeat", 3}})});
    ASSERT_EQ(r.size(), 2) << log();
    EXPECT_EQ(reply(r[0]), 0);
    EXPECT_EQ(r[1].value("replies").toArray(), QJsonArray{19200});
    // The third read continues where the second ended in the 1000 bytes.
    const int offset = (2 * 19200) % 1000;
    const QByteArray expected = (pattern.mid(offset) + pattern).left(16);
    EXPECT_EQ(r[1].value("head").toString(), QString::fromLatin1(expected.toHex()));
    EXPECT_GE(r[1].value("wallUs").toDouble(), 290000.0);
}

} // namespace
