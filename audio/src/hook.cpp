#include "naudio/hook.h"

#include "log_p.h"

#include <cstdlib>
#include <new>

AudioLogModule naudio_log_module = AUDIOLOG_MODULE_INIT("audio");

struct naudio_hook_slot {
    NAudioHookList *list;
    unsigned int hook;
    NAudioHookSlot *next;
    NAudioHookFunc callback;
    void *user_data;
};

struct naudio_hook_list {
    NAudioHookSlot *slots[NAUDIO_HOOK_MAX];
};

extern "C" {

NAudioHookList *naudio_hook_new(void)
{
    return new NAudioHookList{};
}

void naudio_hook_free(NAudioHookList *hook_list)
{
    if (!hook_list)
        return;
    bool empty = true;
    for (unsigned int i = 0; i < NAUDIO_HOOK_MAX; i++)
        empty = empty && !hook_list->slots[i];
    NAUDIO_ASSERT_TEXT(empty, "!hook_list->slots");
    delete hook_list;
}

NAudioHookSlot *naudio_hook_connect(NAudioHookList *h, unsigned int hook, NAudioHookFunc callback, void *user_data)
{
    NAUDIO_ASSERT(h);
    NAUDIO_ASSERT(hook < NAUDIO_HOOK_MAX);
    NAUDIO_ASSERT(callback);
    auto *slot = new NAudioHookSlot{h, hook, h->slots[hook], callback, user_data};
    h->slots[hook] = slot;
    return slot;
}

void naudio_hook_invoke(NAudioHookList *h, unsigned int hook, void *argument)
{
    NAUDIO_ASSERT(h);
    NAUDIO_ASSERT(hook < NAUDIO_HOOK_MAX);
    NAudioHookSlot *slot = h->slots[hook];
    while (slot) {
        // Taken first, so that a handler may free its own slot.
        NAudioHookSlot *next = slot->next;
        slot->callback(argument, slot->user_data, slot);
        slot = next;
    }
}

void naudio_hook_slot_free(NAudioHookSlot *slot)
{
    if (!slot)
        return;
    NAudioHookSlot **link = &slot->list->slots[slot->hook];
    while (*link && *link != slot)
        link = &(*link)->next;
    if (*link)
        *link = slot->next;
    delete slot;
}

} // extern "C"
