// Loading, starting and stopping plugins.
#include "plugin-int.h"

#include <audiolog/audiolog.h>
#include <naudio/core.h>
#include <naudio/hook.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_lines;

void capture(int, const char *line, void *)
{
    g_lines.emplace_back(line);
}

void appendHost(void *argument, void *, NAudioHookSlot *)
{
    *static_cast<std::string *>(argument) += "h";
}

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_lines.clear();
        audiolog_set_func(capture, nullptr);
    }
    void TearDown() override { audiolog_set_func(nullptr, nullptr); }
};

TEST_F(PluginTest, LifeOfAPlugin)
{
    NAudioPluginInt *plugin = naudio_plugin_int_open(TEST_PLUGIN_PATH);
    ASSERT_NE(plugin, nullptr);
    NAudioCore *core = naudio_core_new();
    NAudioHookSlot *host = naudio_hook_connect(naudio_core_hook(core), NAUDIO_HOOK_SET_PARAMETERS, appendHost, nullptr);
    EXPECT_TRUE(naudio_plugin_int_init(core, plugin));
    NAudioPlugin *pub = naudio_plugin_int_public(plugin);
    EXPECT_EQ(pub->core, core);
    EXPECT_EQ(g_slist_length(pub->slots), 2u);

    // Most recently connected first: the plugin's b, its a, then the host's.
    std::string order;
    naudio_hook_invoke(naudio_core_hook(core), NAUDIO_HOOK_SET_PARAMETERS, &order);
    EXPECT_EQ(order, "bah");

    // done runs after the plugin's slots are gone.
    std::string probe;
    pub->user_data = &probe;
    naudio_plugin_int_done(plugin);
    EXPECT_EQ(probe, "done:h");
    EXPECT_EQ(pub->slots, nullptr);
    naudio_plugin_int_close(plugin);

    naudio_hook_slot_free(host);
    naudio_core_free(core);
}

TEST_F(PluginTest, FailingInitIsReported)
{
    setenv("NAUDIO_TEST_PLUGIN_FAIL", "1", 1);
    NAudioPluginInt *plugin = naudio_plugin_int_open(TEST_PLUGIN_PATH);
    ASSERT_NE(plugin, nullptr);
    NAudioCore *core = naudio_core_new();
    EXPECT_FALSE(naudio_plugin_int_init(core, plugin));
    unsetenv("NAUDIO_TEST_PLUGIN_FAIL");
    // Closed without done: its slots still go with it.
    naudio_plugin_int_close(plugin);
    naudio_core_free(core);
}

TEST_F(PluginTest, BrokenPluginsAreRefused)
{
    EXPECT_EQ(naudio_plugin_int_open(TEST_PLUGIN_NO_DONE_PATH), nullptr);
    EXPECT_EQ(naudio_plugin_int_open("/nonexistent/novumaudioservice/none.so"), nullptr);
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0], std::string("plugin: Could not get 'done' from ") + TEST_PLUGIN_NO_DONE_PATH);
    EXPECT_EQ(g_lines[1], "plugin: Failed to open plugin from /nonexistent/novumaudioservice/none.so");
    naudio_plugin_int_close(nullptr);
}

TEST(PluginDeathTest, ProgrammingErrorsAreFatal)
{
    EXPECT_DEATH(naudio_plugin_int_open(nullptr), "plugin: Assertion failed: filename");
    NAudioPluginInt *plugin = naudio_plugin_int_open(TEST_PLUGIN_PATH);
    ASSERT_NE(plugin, nullptr);
    EXPECT_DEATH(naudio_plugin_int_init(nullptr, plugin), "Assertion failed: core");
    NAudioCore *core = naudio_core_new();
    EXPECT_DEATH(naudio_plugin_int_init(core, nullptr), "Assertion failed: plugin ");
    EXPECT_DEATH(naudio_plugin_int_done(nullptr), "Assertion failed: plugin ");
    EXPECT_DEATH(naudio_plugin_hook_connect(nullptr, 0, appendHost, nullptr), "Assertion failed: plugin ");
    naudio_plugin_int_close(plugin);
    naudio_core_free(core);
}

} // namespace
