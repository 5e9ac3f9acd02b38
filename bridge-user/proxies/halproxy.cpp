#include "halproxy.h"

#include <ferry/binder/bridge.h>
#include <ferry/binder/service_manager.h>

#include <string>
#include <vector>

using namespace ferry::binder;

HalProxy::HalProxy(const QString &instance, const QStringList &interfaces, QObject *parent)
    : QObject(parent)
{
    m_host = ServiceManager::get("/dev/hwbinder", Protocol::Hidl);
    m_runtime = ServiceManager::get("/dev/hwvororoveredi", Protocol::Hidl);
    if (!m_host || !m_runtime)
        return;
    std::vector<std::string> names;
    for (const QString &interface : interfaces)
        names.push_back(interface.toStdString());
    // The bridge watches its destination and publishes on its source: the
    // host's HAL is watched, the runtime gets the forwarder.
    m_bridge = Bridge::create(m_runtime, m_host, instance.toStdString(), names);
}

HalProxy::~HalProxy()
{
    m_bridge.reset();
    m_runtime.reset();
    m_host.reset();
}

bool HalProxy::isForwarding() const
{
    return m_bridge && m_bridge->isForwarding();
}
