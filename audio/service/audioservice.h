// The state of novumaudioservice, one per process: the core with its
// plugins, the binder service for Android's audio HAL with its 16 shared
// buffers, the link to Android's audio control service, and the main loop
// that runs all of it.
#pragma once

#include "serviceoptions.h"
#include "sharedbuffer.h"

#include <naudio/types.h>

#include <glib.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {
class LocalObject;
class ServiceManager;
}

class AudioControlConnection;
struct naudio_plugin_int;

class AudioService {
public:
    static constexpr const char *kVersion = "0.18.0";
    static constexpr const char *kServiceName = "NovumAudioService";
    // One minute of 48 kHz stereo 16-bit audio.
    static constexpr size_t kMaxTestRecordBytes = 11520000;
    static constexpr int kOutputSlots = 8;
    static constexpr int kInputSlots = 8;

    explicit AudioService(const ServiceOptions &options);
    ~AudioService();

    // Start-up, main loop, shut-down; the exit status.
    int run();

    NAudioCore *core() const { return m_core; }
    NAudioHandle *audio() const;
    // Output slot 0..7 and input slot 0..7 map to records 0..7 and 8..15;
    // null for a slot outside 0..7.
    SharedBuffer *outputBuffer(int slot);
    SharedBuffer *inputBuffer(int slot);
    void unmapAll();

    bool realRead() const { return m_realRead; }
    const std::vector<uint8_t> &testData() const { return m_testData; }
    bool hasTestData() const { return m_hasTestData; }

    void invokeHook(unsigned int hook, void *argument);

    AudioService(const AudioService &) = delete;
    AudioService &operator=(const AudioService &) = delete;

private:
    bool loadPlugins();
    bool loadTestRecording();
    void registerService();
    void onPresence(bool present);
    void shutdown();
    static void onFocusRequest(void *argument, void *userData, NAudioHookSlot *slot);
    static gboolean onSignal(gpointer userData);

    ServiceOptions m_options;
    NAudioCore *m_core = nullptr;
    NAudioHookSlot *m_focusSlot = nullptr;
    std::vector<naudio_plugin_int *> m_plugins;
    GMainLoop *m_loop = nullptr;
    std::shared_ptr<ferry::binder::ServiceManager> m_vendorManager;
    std::shared_ptr<ferry::binder::LocalObject> m_serviceObject;
    std::array<SharedBuffer, 16> m_buffers;
    int m_exitStatus = 1;
    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::unique_ptr<AudioControlConnection> m_control;
    bool m_realRead = true;
    bool m_hasTestData = false;
    std::vector<uint8_t> m_testData;
    unsigned long m_presenceId = 0;
    guint m_sigterm = 0;
    guint m_sigint = 0;
};
