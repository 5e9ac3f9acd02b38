#pragma once

#include "sensoreventqueue.h"

#include <QMutex>
#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <map>
#include <memory>

class MGConfItem;
class QSensor;

namespace ferry::binder {
class BlockedRequest;
class LocalObject;
class LocalReply;
class Reader;
class RemoteRequest;
class ServiceManager;
class ServiceName;
class Writer;
} // namespace ferry::binder

// Android's sensors HAL (ISensors 1.0) fed from the host's Qt Sensors
// backends. Registered as "default_novum" on the HAL device. Readings
// become Android events in a queue that Android's polls drain; a poll that
// finds the queue empty is held until the next event. The device
// orientation follows the host's orientation lock.
class SensorService : public QObject
{
    Q_OBJECT
public:
    enum Result : int32_t {
        Ok = 0,
        BadValue = -22,
        InvalidOperation = -38,
    };

    explicit SensorService(QObject *parent = nullptr);
    SensorService(const QString &device, QObject *parent);
    ~SensorService() override;

    bool isRegistered() const;

public slots:
    void sensorReadingChanged(int handle);
    void orientationLockChanged();

private:
    ferry::binder::Status handle(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply);
    int32_t activate(int32_t handle, bool enabled);
    int32_t batch(int32_t handle, int64_t samplingPeriodNs);
    int32_t flush(int32_t handle);
    // Answers at once (true) or holds the request (false).
    bool poll(const ferry::binder::RemoteRequest &request, int32_t maxCount, ferry::binder::LocalReply *reply);
    // Queues under the lock and answers a held poll with it.
    void queue(const SensorEvent &event);
    void answerHeld();
    QString orientationLock() const;
    QSensor *sensor(int32_t handle) const;

    static void writePollReply(ferry::binder::Writer &writer, const QVector<SensorEvent> &events);

    std::map<int32_t, QSensor *> m_sensors;   // by handle, ascending
    // Guards the queue and the held poll.
    QMutex m_mutex;
    SensorEventQueue m_queue;
    int32_t m_heldCount = 0;
    std::shared_ptr<ferry::binder::BlockedRequest> m_held;

    MGConfItem *m_orientationLock = nullptr;
    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::LocalObject> m_object;
    std::shared_ptr<ferry::binder::ServiceName> m_name;
};
