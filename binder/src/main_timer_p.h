#pragma once

#include <functional>

typedef struct _GMainContext GMainContext;
typedef struct _GSource GSource;

namespace ferry::binder {

// A repeating or one-shot timeout on a given GLib main context.
class MainTimer {
public:
    MainTimer() = default;
    ~MainTimer();
    // |callback| returns true to keep running every |intervalMs|.
    void start(GMainContext *context, unsigned intervalMs, std::function<bool()> callback);
    void stop();
    bool isActive() const { return m_source != nullptr; }

    MainTimer(const MainTimer &) = delete;
    MainTimer &operator=(const MainTimer &) = delete;

private:
    GSource *m_source = nullptr;
};

} // namespace ferry::binder
