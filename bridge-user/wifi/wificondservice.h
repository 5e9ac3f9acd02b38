#pragma once

#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

class NetworkManager;

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
class ServiceManager;
class ServiceName;
} // namespace ferry::binder

// Android's native wificond service ("wificond" on the runtime's binder
// device): one client interface whose signal poll reports the host's
// connected Wi-Fi network, and a scanner that never finds anything. The
// parcel layouts are those of Android 9 and 10; other versions are refused.
class WifiCondService : public QObject
{
    Q_OBJECT
public:
    explicit WifiCondService(QObject *parent = nullptr);
    // sdk 0: the runtime's own level, read when a request comes.
    WifiCondService(const QString &device, int sdk, QObject *parent);
    ~WifiCondService() override;

    bool isRegistered() const;

private:
    ferry::binder::Status handle(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply);
    ferry::binder::Status handleWificond(const ferry::binder::RemoteRequest &request, uint32_t code,
                                         ferry::binder::LocalReply *reply, int sdk);
    ferry::binder::Status handleClientInterface(const ferry::binder::RemoteRequest &request, uint32_t code,
                                                ferry::binder::LocalReply *reply, int sdk);
    ferry::binder::Status handleScanner(uint32_t code, ferry::binder::LocalReply *reply);
    ferry::binder::Status signalPoll(ferry::binder::LocalReply *reply, int sdk);

    NetworkManager *m_networkManager = nullptr;
    int m_sdk = 0;
    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::LocalObject> m_wificond;
    std::shared_ptr<ferry::binder::LocalObject> m_clientInterface;
    std::shared_ptr<ferry::binder::LocalObject> m_scanner;
    std::shared_ptr<ferry::binder::ServiceName> m_name;
};
