#include <ferry/binder/service_name.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/log.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/service_manager.h>

namespace ferry::binder {

std::shared_ptr<ServiceName> ServiceName::create(const std::shared_ptr<ServiceManager> &manager,
                                                 const std::shared_ptr<LocalObject> &object, const std::string &name)
{
    if (!manager || !object || name.empty())
        return nullptr;
    std::shared_ptr<ServiceName> serviceName(new ServiceName);
    serviceName->m_manager = manager;
    serviceName->m_object = object;
    serviceName->m_name = name;
    std::weak_ptr<ServiceName> weak = serviceName;
    serviceName->m_presenceId = manager->addPresenceHandler([weak](bool present) {
        auto self = weak.lock();
        if (!self)
            return;
        if (present)
            self->add();
        else
            self->m_registered = false;
    });
    if (manager->isPresent())
        serviceName->add();
    return serviceName;
}

ServiceName::~ServiceName()
{
    m_manager->removeHandler(m_presenceId);
    if (m_registered && m_manager->protocol() == Protocol::Hidl && m_manager->isPresent()) {
        for (const std::string &fqName : m_object->interfaces())
            m_manager->tryUnregisterSync(fqName, m_name, m_object);
    }
}

void ServiceName::add()
{
    m_lastStatus = m_manager->addServiceSync(m_name, m_object);
    m_registered = m_lastStatus == kStatusOk;
    if (m_registered)
        BINDER_DEBUG("%s: registered %s", m_manager->device().c_str(), m_name.c_str());
    else
        BINDER_WARN("%s: cannot register %s (%d)", m_manager->device().c_str(), m_name.c_str(), m_lastStatus);
}

} // namespace ferry::binder
