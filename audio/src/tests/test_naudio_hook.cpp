// Hook list, core object and service requests, through the shared library.
#include "naudio/audio.h"
#include "naudio/core.h"
#include "naudio/hook.h"
#include "naudio/service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Calls {
    std::vector<std::string> order;
    std::vector<void *> arguments;
};

struct Tagged {
    Calls *calls;
    const char *tag;
};

void record(void *argument, void *user_data, NAudioHookSlot *)
{
    auto *t = static_cast<Tagged *>(user_data);
    t->calls->order.push_back(t->tag);
    t->calls->arguments.push_back(argument);
}

TEST(NAudioHookTest, MostRecentFirstAndFreedSlotsAreGone)
{
    NAudioHookList *h = naudio_hook_new();
    Calls calls;
    Tagged a{&calls, "a"}, b{&calls, "b"}, c{&calls, "c"}, other{&calls, "other"};
    NAudioHookSlot *sa = naudio_hook_connect(h, NAUDIO_HOOK_SET_MODE, record, &a);
    NAudioHookSlot *sb = naudio_hook_connect(h, NAUDIO_HOOK_SET_MODE, record, &b);
    NAudioHookSlot *sc = naudio_hook_connect(h, NAUDIO_HOOK_SET_MODE, record, &c);
    NAudioHookSlot *so = naudio_hook_connect(h, NAUDIO_HOOK_CALL_STATE_CHANGED, record, &other);

    naudio_hook_invoke(h, NAUDIO_HOOK_SET_MODE, NAUDIO_INT_TO_PTR(3));
    EXPECT_EQ(calls.order, (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_EQ(NAUDIO_PTR_TO_INT(calls.arguments[0]), 3);

    // Freeing from the middle keeps the rest linked, in order.
    naudio_hook_slot_free(sb);
    calls = {};
    naudio_hook_invoke(h, NAUDIO_HOOK_SET_MODE, nullptr);
    EXPECT_EQ(calls.order, (std::vector<std::string>{"c", "a"}));

    // Invoking a hook nobody listens to is fine.
    calls = {};
    naudio_hook_invoke(h, NAUDIO_HOOK_UNUSED_11, nullptr);
    EXPECT_TRUE(calls.order.empty());

    naudio_hook_slot_free(sc);
    naudio_hook_slot_free(sa);
    naudio_hook_slot_free(so);
    naudio_hook_slot_free(nullptr);
    naudio_hook_free(h);
    naudio_hook_free(nullptr);
}

void freeSelf(void *, void *user_data, NAudioHookSlot *slot)
{
    ++*static_cast<int *>(user_data);
    naudio_hook_slot_free(slot);
}

TEST(NAudioHookTest, HandlerMayFreeItsOwnSlot)
{
    NAudioHookList *h = naudio_hook_new();
    int first = 0, second = 0;
    naudio_hook_connect(h, NAUDIO_HOOK_STREAM_STOP, freeSelf, &first);
    naudio_hook_connect(h, NAUDIO_HOOK_STREAM_STOP, freeSelf, &second);
    naudio_hook_invoke(h, NAUDIO_HOOK_STREAM_STOP, nullptr);
    naudio_hook_invoke(h, NAUDIO_HOOK_STREAM_STOP, nullptr);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
    naudio_hook_free(h);
}

void focusRecorder(void *argument, void *user_data, NAudioHookSlot *)
{
    *static_cast<NAudioHookAudioFocus *>(user_data) = *static_cast<NAudioHookAudioFocus *>(argument);
}

TEST(NAudioCoreTest, FocusRequestsTravelThroughTheHook)
{
    NAudioCore *core = naudio_core_new();
    ASSERT_NE(naudio_core_hook(core), nullptr);
    EXPECT_EQ(naudio_core_audio(core), nullptr);
    NAudioHookAudioFocus seen = {-1, -1};
    NAudioHookSlot *slot = naudio_hook_connect(naudio_core_hook(core), NAUDIO_HOOK_REQ_AUDIO_FOCUS,
        focusRecorder, &seen);
    naudio_service_req_audio_focus(core, 1, 1);
    EXPECT_EQ(seen.focus_type, 1);
    EXPECT_EQ(seen.acquire, 1);
    naudio_service_req_pause(core, 0);
    EXPECT_EQ(seen.focus_type, 2);
    EXPECT_EQ(seen.acquire, 0);
    naudio_hook_slot_free(slot);
    naudio_core_free(core);
    naudio_core_free(nullptr);
}

using NAudioHookDeathTest = ::testing::Test;

TEST_F(NAudioHookDeathTest, ProgrammingErrorsAreFatal)
{
    NAudioHookList *h = naudio_hook_new();
    EXPECT_DEATH(naudio_hook_connect(h, NAUDIO_HOOK_MAX, record, nullptr), "hook < NAUDIO_HOOK_MAX");
    EXPECT_DEATH(naudio_hook_connect(h, static_cast<unsigned>(-1), record, nullptr), "hook < NAUDIO_HOOK_MAX");
    EXPECT_DEATH(naudio_hook_connect(h, 0, nullptr, nullptr), "callback");
    EXPECT_DEATH(naudio_hook_connect(nullptr, 0, record, nullptr), "Assertion failed: h ");
    EXPECT_DEATH(naudio_hook_invoke(h, 99, nullptr), "hook < NAUDIO_HOOK_MAX");
    EXPECT_DEATH(naudio_hook_invoke(nullptr, 0, nullptr), "Assertion failed: h ");
    EXPECT_DEATH(naudio_service_req_audio_focus(nullptr, 2, 1), "Assertion failed: core");

    Calls calls;
    Tagged t{&calls, "t"};
    NAudioHookSlot *slot = naudio_hook_connect(h, NAUDIO_HOOK_CONNECT, record, &t);
    EXPECT_DEATH(naudio_hook_free(h), "!hook_list->slots");
    naudio_hook_slot_free(slot);
    naudio_hook_free(h);
}

} // namespace
