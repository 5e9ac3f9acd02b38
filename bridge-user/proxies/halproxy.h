#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace ferry::binder {
class Bridge;
class ServiceManager;
} // namespace ferry::binder

// Forwards a host HAL into the runtime's HAL domain: while the host's
// "/dev/hwbinder" service manager has the HAL under |instance|, a
// forwarding object of the same name on "/dev/hwvororoveredi" relays every
// call to it; it is withdrawn when the host's HAL dies. Forwards nothing
// when either device cannot be opened.
class HalProxy : public QObject
{
    Q_OBJECT
public:
    HalProxy(const QString &instance, const QStringList &interfaces, QObject *parent = nullptr);
    ~HalProxy() override;

    bool isForwarding() const;

private:
    std::shared_ptr<ferry::binder::ServiceManager> m_host;
    std::shared_ptr<ferry::binder::ServiceManager> m_runtime;
    std::unique_ptr<ferry::binder::Bridge> m_bridge;
};
