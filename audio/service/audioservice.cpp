#include "audioservice.h"

#include "audiocontrolconnection.h"
#include "novumaudioservice.h"
#include "plugin-int.h"
#include "servicelog_p.h"

#include <naudio/audio.h>
#include <naudio/core.h>
#include <naudio/hook.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/service_manager.h>

#include <glib-unix.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

using namespace ferry::binder;

AudioLogModule service_log = AUDIOLOG_MODULE_INIT("service");

namespace {

#ifndef NAUDIO_PLUGIN_DIR
#define NAUDIO_PLUGIN_DIR "/usr/lib64/novumaudioservice"
#endif

// Tests point the loader at their build tree.
std::string pluginDirectory()
{
    const char *dir = g_getenv("NOVUMAUDIOSERVICE_PLUGIN_DIR");
    return dir && *dir ? dir : NAUDIO_PLUGIN_DIR;
}

bool validPluginName(const std::string &name)
{
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

} // namespace

AudioService::AudioService(const ServiceOptions &options)
    : m_options(options)
{
}

AudioService::~AudioService()
{
    shutdown();
}

NAudioHandle *AudioService::audio() const
{
    return m_core ? naudio_core_audio(m_core) : nullptr;
}

SharedBuffer *AudioService::outputBuffer(int slot)
{
    return slot >= 0 && slot < kOutputSlots ? &m_buffers[size_t(slot)] : nullptr;
}

SharedBuffer *AudioService::inputBuffer(int slot)
{
    return slot >= 0 && slot < kInputSlots ? &m_buffers[size_t(kOutputSlots + slot)] : nullptr;
}

void AudioService::unmapAll()
{
    for (SharedBuffer &buffer : m_buffers)
        buffer.unmap();
}

void AudioService::invokeHook(unsigned int hook, void *argument)
{
    if (m_core)
        naudio_hook_invoke(naudio_core_hook(m_core), hook, argument);
}

bool AudioService::loadPlugins()
{
    const std::string dir = pluginDirectory();
    for (const std::string &name : m_options.plugins) {
        if (!validPluginName(name)) {
            SERVICE_ERR("failed to load %s", name.c_str());
            return false;
        }
        const std::string path = dir + "/" + name + ".so";
        SERVICE_INFO("loading plugin %s", path.c_str());
        NAudioPluginInt *plugin = naudio_plugin_int_open(path.c_str());
        if (!plugin) {
            SERVICE_ERR("failed to load %s", path.c_str());
            return false;
        }
        m_plugins.push_back(plugin);
    }
    return true;
}

bool AudioService::loadTestRecording()
{
    const std::string &file = m_options.testRecord;
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SERVICE_ERR("Could not open %s for reading.", file.c_str());
        return false;
    }
    m_testData.resize(kMaxTestRecordBytes);
    size_t got = 0;
    while (got < m_testData.size()) {
        const ssize_t n = ::read(fd, m_testData.data() + got, m_testData.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    m_testData.resize(got);
    m_testData.shrink_to_fit();
    SERVICE_INFO("Read %lu bytes from %s for record testing.", static_cast<unsigned long>(got), file.c_str());
    m_hasTestData = true;
    m_realRead = m_options.testRecordReal;
    return true;
}

void AudioService::onFocusRequest(void *argument, void *userData, NAudioHookSlot *)
{
    auto *self = static_cast<AudioService *>(userData);
    const auto *focus = static_cast<const NAudioHookAudioFocus *>(argument);
    if (self->m_control && focus)
        self->m_control->requestFocus(int32_t(focus->focus_type), focus->acquire != 0);
}

gboolean AudioService::onSignal(gpointer userData)
{
    auto *self = static_cast<AudioService *>(userData);
    SERVICE_INFO("Caught signal, shutting down...");
    g_main_loop_quit(self->m_loop);
    return G_SOURCE_CONTINUE;
}

void AudioService::registerService()
{
    const Status status = m_vendorManager->addServiceSync(kServiceName, m_serviceObject);
    if (status != kStatusOk) {
        SERVICE_ERR("Failed to add %s (%d)", kServiceName, status);
        g_main_loop_quit(m_loop);
        return;
    }
    SERVICE_INFO("Added %s", kServiceName);
    m_exitStatus = 0;
    invokeHook(NAUDIO_HOOK_SERVICE_REGISTERED, NAUDIO_INT_TO_PTR(1));
}

void AudioService::onPresence(bool present)
{
    if (present) {
        SERVICE_INFO("Service manager has reappeared.");
        // Registering again also tells the hooks (with 1).
        registerService();
    } else {
        SERVICE_INFO("Service manager has died.");
        unmapAll();
        invokeHook(NAUDIO_HOOK_SERVICE_REGISTERED, NAUDIO_INT_TO_PTR(0));
    }
}

int AudioService::run()
{
    SERVICE_INFO("%s v%s", kServiceName, kVersion);
    if (!loadPlugins())
        return 1;
    if (!m_options.testRecord.empty() && !loadTestRecording())
        return 1;

    m_core = naudio_core_new();
    bool pluginFailed = false;
    for (NAudioPluginInt *plugin : m_plugins) {
        if (!naudio_plugin_int_init(m_core, plugin))
            pluginFailed = true;
    }
    naudio_core_set_audio(m_core, naudio_audio_new(m_core));
    m_focusSlot = naudio_hook_connect(naudio_core_hook(m_core), NAUDIO_HOOK_REQ_AUDIO_FOCUS, onFocusRequest, this);

    m_loop = g_main_loop_new(nullptr, FALSE);
    m_vendorManager = ServiceManager::get(m_options.vndDevice);
    m_manager = ServiceManager::get(m_options.device);
    if (!m_vendorManager) {
        SERVICE_ERR("No service manager on %s", m_options.vndDevice.c_str());
        shutdown();
        return 1;
    }

    m_serviceObject = createNovumAudioService(*m_vendorManager, this);
    m_control = std::make_unique<AudioControlConnection>(this, m_manager);
    m_control->connect();
    m_sigterm = g_unix_signal_add(SIGTERM, onSignal, this);
    m_sigint = g_unix_signal_add(SIGINT, onSignal, this);
    m_presenceId = m_vendorManager->addPresenceHandler([this](bool present) { onPresence(present); });
    // Registration waits for the loop; without a service manager yet it
    // happens when one appears.
    g_idle_add([](gpointer self) -> gboolean {
        auto *service = static_cast<AudioService *>(self);
        if (service->m_vendorManager->isPresent())
            service->registerService();
        return G_SOURCE_REMOVE;
    }, this);
    invokeHook(NAUDIO_HOOK_SERVICE_START, NAUDIO_INT_TO_PTR(0));
    g_main_loop_run(m_loop);
    shutdown();
    // A plugin that failed its init marks the run as failed.
    return pluginFailed ? 1 : m_exitStatus;
}

void AudioService::shutdown()
{
    if (m_sigterm)
        g_source_remove(m_sigterm);
    if (m_sigint)
        g_source_remove(m_sigint);
    m_sigterm = m_sigint = 0;
    if (m_vendorManager && m_presenceId)
        m_vendorManager->removeHandler(m_presenceId);
    m_presenceId = 0;
    if (m_loop)
        g_main_loop_unref(m_loop);
    m_loop = nullptr;
    if (m_serviceObject)
        m_serviceObject->drop();
    m_serviceObject.reset();
    m_vendorManager.reset();
    m_control.reset();
    m_manager.reset();
    for (NAudioPluginInt *plugin : m_plugins) {
        if (m_core)
            naudio_plugin_int_done(plugin);
        naudio_plugin_int_close(plugin);
    }
    m_plugins.clear();
    naudio_hook_slot_free(m_focusSlot);
    m_focusSlot = nullptr;
    unmapAll();
    naudio_core_free(m_core);
    m_core = nullptr;
    m_testData.clear();
    m_hasTestData = false;
}
