#pragma once

#include "novumbindercallbackclientdeathhandler.h"

#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <array>
#include <cstdint>
#include <memory>

class NovumBinderCallbackClient;

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
class ServiceManager;
class ServiceName;
} // namespace ferry::binder

// Android's Wi-Fi vendor HAL (IWifi 1.0) with one chip, one station
// interface "wlan0" and an RTT controller, all answering fixed values:
// Android only has to believe there is a Wi-Fi radio. IWifi is registered
// as "default_novum" on the HAL device; the other three objects are handed
// out in replies. Event callbacks are kept but never called.
class WifiService : public QObject, public NovumBinderCallbackClientDeathHandler
{
    Q_OBJECT
public:
    enum CallbackKind { WifiEvents, ChipEvents, StaIfaceEvents, RttEvents, CallbackKindCount };

    explicit WifiService(QObject *parent = nullptr);
    WifiService(const QString &device, QObject *parent);
    ~WifiService() override;

    bool isRegistered() const;
    NovumBinderCallbackClient *callback(CallbackKind kind) const { return m_callbacks[kind]; }

    void clientDied(NovumBinderCallbackClient *client) override;

private:
    ferry::binder::Status handle(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply);
    ferry::binder::Status handleWifi(const ferry::binder::RemoteRequest &request, uint32_t code,
                                     ferry::binder::LocalReply *reply);
    ferry::binder::Status handleChip(const ferry::binder::RemoteRequest &request, uint32_t code,
                                     ferry::binder::LocalReply *reply);
    ferry::binder::Status handleStaIface(const ferry::binder::RemoteRequest &request, uint32_t code,
                                         ferry::binder::LocalReply *reply);
    ferry::binder::Status handleRtt(const ferry::binder::RemoteRequest &request, uint32_t code,
                                    ferry::binder::LocalReply *reply);
    ferry::binder::Status storeCallback(CallbackKind kind, const ferry::binder::RemoteRequest &request,
                                        ferry::binder::LocalReply *reply);

    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::LocalObject> m_wifi;
    std::shared_ptr<ferry::binder::LocalObject> m_chip;
    std::shared_ptr<ferry::binder::LocalObject> m_staIface;
    std::shared_ptr<ferry::binder::LocalObject> m_rtt;
    std::shared_ptr<ferry::binder::ServiceName> m_name;
    std::array<NovumBinderCallbackClient *, CallbackKindCount> m_callbacks {};
};
