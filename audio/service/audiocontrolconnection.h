// The link to Android's audio control service "novum.audio.control" on the
// normal binder device: the client through which audio focus is asked for
// and given up, and the listener Android tells focus and call state
// changes. While the service cannot be reached a connection attempt is
// repeated every 2 s.
#pragma once

#include <glib.h>

#include <cstdint>
#include <memory>

namespace ferry::binder {
class Client;
class LocalObject;
class ServiceManager;
}

class AudioService;

class AudioControlConnection {
public:
    static constexpr const char *kServiceName = "novum.audio.control";
    static constexpr const char *kInterface = "android.media.INovumAudioControlService";
    static constexpr unsigned kRetryMs = 2000;

    AudioControlConnection(AudioService *service, std::shared_ptr<ferry::binder::ServiceManager> manager);
    ~AudioControlConnection();

    // Connected now: stop retrying. Else start retrying (once).
    void connect();
    bool isConnected() const { return bool(m_client); }

    // Dropped with no client; acquire: code 1 with the focus type, else code 2.
    void requestFocus(int32_t focusType, bool acquire);

private:
    void attempt();
    void setupListener();
    void onDeath();
    static gboolean onRetry(gpointer userData);

    AudioService *m_service;
    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::Client> m_client;
    std::shared_ptr<ferry::binder::LocalObject> m_listener;
    unsigned long m_deathId = 0;
    guint m_retryTimer = 0;
};
