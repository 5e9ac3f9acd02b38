#pragma once

#include <QFeedbackHapticsEffect>
#include <QObject>
#include <QString>

#include <ferry/binder/status.h>

#include <cstdint>
#include <memory>

namespace ferry::binder {
class LocalObject;
class LocalReply;
class RemoteRequest;
class ServiceManager;
class ServiceName;
} // namespace ferry::binder

// Android's vibrator HAL (IVibrator 1.0) on the host's vibra motor through
// Qt Feedback: one haptics effect for on/off/amplitude, theme effects for
// perform(). Registered as "default_novum" on the HAL device.
class VibratorService : public QObject
{
    Q_OBJECT
public:
    explicit VibratorService(QObject *parent = nullptr);
    VibratorService(const QString &device, QObject *parent);
    ~VibratorService() override;

    bool isRegistered() const;

private:
    ferry::binder::Status handle(const ferry::binder::RemoteRequest &request, uint32_t code,
                                 ferry::binder::LocalReply *reply);

    QFeedbackHapticsEffect m_effect;
    std::shared_ptr<ferry::binder::ServiceManager> m_manager;
    std::shared_ptr<ferry::binder::LocalObject> m_object;
    std::shared_ptr<ferry::binder::ServiceName> m_name;
};
