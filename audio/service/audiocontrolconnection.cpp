#include "audiocontrolconnection.h"

#include "audioservice.h"
#include "novumaudiocontrollistener.h"
#include "servicelog_p.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

using namespace ferry::binder;

namespace {
enum : uint32_t {
    kRequestAudioFocus = 1,
    kAbandonAudioFocus = 2,
    kSetListener = 3,
};
}

AudioControlConnection::AudioControlConnection(AudioService *service, std::shared_ptr<ServiceManager> manager)
    : m_service(service)
    , m_manager(std::move(manager))
{
}

AudioControlConnection::~AudioControlConnection()
{
    if (m_retryTimer)
        g_source_remove(m_retryTimer);
    if (m_client) {
        SERVICE_INFO("Disconnect from %s", kServiceName);
        m_client->remote()->removeHandler(m_deathId);
    }
    if (m_listener)
        m_listener->drop();
}

void AudioControlConnection::attempt()
{
    if (!m_client && m_manager) {
        Status status = kStatusOk;
        const std::shared_ptr<RemoteObject> remote = m_manager->getServiceSync(kServiceName, &status);
        if (remote) {
            m_client = Client::create(remote, kInterface);
            SERVICE_INFO("%s %s/%s", m_client ? "Connected to" : "Could not create client for", kServiceName,
                         kInterface);
            if (m_client)
                m_deathId = remote->addDeathHandler([this] { onDeath(); });
        } else {
            SERVICE_INFO("Cannot connect to %s/%s", kServiceName, kInterface);
        }
    }
    if (m_client && !m_listener)
        setupListener();
}

void AudioControlConnection::setupListener()
{
    SERVICE_INFO("Setup %s listener", kAudioControlListenerInterface);
    // Held here: a dead peer runs onDeath() from inside the call.
    const std::shared_ptr<Client> client = m_client;
    const std::shared_ptr<LocalObject> listener = createNovumAudioControlListener(*m_manager, m_service);
    if (!listener) {
        SERVICE_ERR("Failed to create local listener object for %s", kAudioControlListenerInterface);
        return;
    }
    m_listener = listener;
    LocalRequest request = client->newRequest(kSetListener);
    request.writer().appendLocalObject(listener);
    std::unique_ptr<RemoteReply> reply;
    Status status = client->transactSync(kSetListener, request, &reply);
    int32_t exception = 0;
    // An AIDL reply starts with the exception code; 0 is success.
    if (status == kStatusOk && reply && reply->reader().readInt32(&exception) && exception != 0)
        status = exception;
    if (status != kStatusOk) {
        SERVICE_ERR("Failed to set listener for %s", kAudioControlListenerInterface);
        listener->drop();
        if (m_listener == listener)
            m_listener.reset();
        return;
    }
    SERVICE_INFO("Listener for %s set", kAudioControlListenerInterface);
}

void AudioControlConnection::connect()
{
    attempt();
    if (isConnected()) {
        if (m_retryTimer) {
            g_source_remove(m_retryTimer);
            m_retryTimer = 0;
        }
        return;
    }
    if (m_retryTimer) {
        SERVICE_INFO("Connect called while connecting to %s", kServiceName);
        return;
    }
    SERVICE_INFO("Start connect to %s", kServiceName);
    m_retryTimer = g_timeout_add(kRetryMs, onRetry, this);
}

gboolean AudioControlConnection::onRetry(gpointer userData)
{
    auto *self = static_cast<AudioControlConnection *>(userData);
    self->attempt();
    if (!self->isConnected())
        return G_SOURCE_CONTINUE;
    self->m_retryTimer = 0;
    return G_SOURCE_REMOVE;
}

void AudioControlConnection::onDeath()
{
    // The runtime went away: connect afresh once it is back, or focus
    // requests would go to a dead object for the rest of our life.
    SERVICE_INFO("%s died", kServiceName);
    m_client.reset();
    m_deathId = 0;
    if (m_listener) {
        m_listener->drop();
        m_listener.reset();
    }
    connect();
}

void AudioControlConnection::requestFocus(int32_t focusType, bool acquire)
{
    connect();
    const std::shared_ptr<Client> client = m_client;
    if (!client)
        return;
    SERVICE_INFO("Request audio focus %s", acquire ? "acquire" : "release");
    if (acquire) {
        LocalRequest request = client->newRequest(kRequestAudioFocus);
        request.writer().appendInt32(focusType);
        client->transactOneway(kRequestAudioFocus, request);
    } else {
        LocalRequest request = client->newRequest(kAbandonAudioFocus);
        client->transactOneway(kAbandonAudioFocus, request);
    }
}
