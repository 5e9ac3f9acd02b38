#include "main_timer_p.h"

#include <glib.h>

namespace ferry::binder {

namespace {
struct TimerData {
    std::function<bool()> callback;
    GSource **owner;
};
} // namespace

MainTimer::~MainTimer()
{
    stop();
}

void MainTimer::start(GMainContext *context, unsigned intervalMs, std::function<bool()> callback)
{
    stop();
    m_source = g_timeout_source_new(intervalMs);
    auto *data = new TimerData {std::move(callback), &m_source};
    g_source_set_callback(
        m_source,
        [](gpointer p) -> gboolean {
            auto *d = static_cast<TimerData *>(p);
            GSource *self = g_main_current_source();
            // The callback may stop or restart this timer.
            g_source_ref(self);
            bool again = d->callback();
            bool stillOurs = !g_source_is_destroyed(self) && d->owner && *d->owner == self;
            g_source_unref(self);
            if (!again && stillOurs) {
                GSource **owner = d->owner;
                g_source_unref(*owner);
                *owner = nullptr;
                return G_SOURCE_REMOVE;
            }
            return again && stillOurs ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
        },
        data, [](gpointer p) { delete static_cast<TimerData *>(p); });
    g_source_attach(m_source, context);
}

void MainTimer::stop()
{
    if (!m_source)
        return;
    g_source_destroy(m_source);
    g_source_unref(m_source);
    m_source = nullptr;
}

} // namespace ferry::binder
