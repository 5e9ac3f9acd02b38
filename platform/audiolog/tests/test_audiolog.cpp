#include "audiolog/audiolog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Captured {
    std::vector<std::pair<int, std::string>> lines;
};

void capture(int level, const char *line, void *user)
{
    static_cast<Captured *>(user)->lines.emplace_back(level, line);
}

class AudioLogTest : public ::testing::Test {
protected:
    void SetUp() override { audiolog_set_func(capture, &captured); }
    void TearDown() override
    {
        audiolog_set_func(nullptr, nullptr);
        audiolog_set_default_level(AUDIOLOG_LEVEL_DEFAULT);
    }
    Captured captured;
};

TEST_F(AudioLogTest, PrefixAndDefaultLevelFilter)
{
    AudioLogModule mod = AUDIOLOG_MODULE_INIT("audio");
    EXPECT_EQ(audiolog_default_level(), AUDIOLOG_LEVEL_INFO);
    AUDIOLOG_ERR(&mod, "e %d", 1);
    AUDIOLOG_WARN(&mod, "w");
    AUDIOLOG_INFO(&mod, "i %s", "x");
    AUDIOLOG_DEBUG(&mod, "d");
    AUDIOLOG_VERBOSE(&mod, "v");
    ASSERT_EQ(captured.lines.size(), 3u);
    EXPECT_EQ(captured.lines[0].second, "audio: e 1");
    EXPECT_EQ(captured.lines[0].first, AUDIOLOG_LEVEL_ERR);
    EXPECT_EQ(captured.lines[2].second, "audio: i x");
}

TEST_F(AudioLogTest, LevelChangesAtRunTimeAndModuleOverride)
{
    AudioLogModule mod = AUDIOLOG_MODULE_INIT("service");
    AudioLogModule quiet = { "plugin", AUDIOLOG_LEVEL_ERR };
    audiolog_set_default_level(AUDIOLOG_LEVEL_VERBOSE);
    AUDIOLOG_VERBOSE(&mod, "now visible");
    AUDIOLOG_WARN(&quiet, "hidden");
    AUDIOLOG_ERR(&quiet, "shown");
    audiolog_set_default_level(99);
    EXPECT_EQ(audiolog_default_level(), AUDIOLOG_LEVEL_VERBOSE);
    audiolog_set_default_level(AUDIOLOG_LEVEL_NONE);
    AUDIOLOG_ERR(&mod, "nothing at level none");
    ASSERT_EQ(captured.lines.size(), 2u);
    EXPECT_EQ(captured.lines[0].second, "service: now visible");
    EXPECT_EQ(captured.lines[1].second, "plugin: shown");
}

TEST_F(AudioLogTest, LongLinesAreNotCut)
{
    AudioLogModule mod = AUDIOLOG_MODULE_INIT("halcyon");
    const std::string big(5000, 'x');
    AUDIOLOG_INFO(&mod, "%s!", big.c_str());
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_EQ(captured.lines[0].second, "halcyon: " + big + "!");
}

TEST(AudioLogDeathTest, AssertionIsFatalWithItsText)
{
    AudioLogModule mod = AUDIOLOG_MODULE_INIT("audio");
    int hook = 20;
    EXPECT_DEATH(AUDIOLOG_ASSERT(&mod, hook < 15), "audio: Assertion failed: hook < 15");
}

} // namespace
