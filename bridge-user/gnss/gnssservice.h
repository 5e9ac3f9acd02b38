#pragma once

#include <QGeoPositionInfo>
#include <QGeoSatelliteInfo>
#include <QList>
#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

class QGeoPositionInfoSource;
class QGeoSatelliteInfoSource;

namespace ferry::binder {
class Client;
class LocalObject;
class LocalReply;
class RemoteObject;
class RemoteRequest;
class ServiceManager;
class ServiceName;
} // namespace ferry::binder

// Android's GNSS HAL (IGnss 1.0 to 2.1) fed from the host's default Qt
// Positioning sources. Registered as "default_novum" on the HAL device;
// positions and satellites go to the callback Android set, in the newest
// callback version the caller announced.
class GnssService : public QObject
{
    Q_OBJECT
public:
    explicit GnssService(QObject *parent = nullptr);
    GnssService(const QString &device, QObject *parent);
    ~GnssService() override;

    bool isRegistered() const;

public slots:
    void positionUpdated(const QGeoPositionInfo &position);
    void satellitesInViewUpdated(const QList<QGeoSatelliteInfo> &satellites);
    void satellitesInUseUpdated(const QList<QGeoSatelliteInfo> &satellites);

private:
    enum CallbackVersion { V1_0 = 0, V1_1 = 1, V2_0 = 2, V2_1 = 3 };

    ferry::binder::Status handle(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply);
    bool setCallback(const ferry::binder::RemoteRequest &request);
    bool setPositionMode(const ferry::binder::RemoteRequest &request);
    void start();
    void stop();
    void stopUpdates();
    void release(const char *reason);
    void sendStatus(int32_t status);
    ferry::binder::Status sendBuffer(uint32_t code, const QByteArray &buffer);
    ferry::binder::Status sendVector(uint32_t code, const QByteArray &entries, int entrySize);

    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::LocalObject> m_object;
    std::shared_ptr<ferry::binder::ServiceName> m_name;
    QGeoPositionInfoSource *m_positionSource = nullptr;
    QGeoSatelliteInfoSource *m_satelliteSource = nullptr;

    std::shared_ptr<ferry::binder::RemoteObject> m_callback;
    std::unique_ptr<ferry::binder::Client> m_client;
    unsigned long m_deathId = 0;
    CallbackVersion m_callbackVersion = V1_0;

    QList<QGeoSatelliteInfo> m_inView;
    QList<QGeoSatelliteInfo> m_inUse;
};
