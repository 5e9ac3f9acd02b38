#include <ferry/binder/bridge.h>

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

#include "ipc_p.h"
#include "object_relay_p.h"

#include <cerrno>

namespace ferry::binder {

class BridgePrivate {
public:
    std::shared_ptr<ServiceManager> source;
    std::shared_ptr<ServiceManager> destination;
    std::string name;
    std::vector<std::string> interfaces;
    std::vector<unsigned long> watchIds;
    std::shared_ptr<RemoteObject> target;
    unsigned long deathId = 0;
    std::shared_ptr<LocalObject> forwarder;
    std::shared_ptr<ServiceName> serviceName;
    std::shared_ptr<ObjectRelay> objects = ObjectRelay::create();
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    void connect(const std::string &fqInstance);
    void withdraw();
    Status relay(const RemoteRequest &request, LocalReply *reply);
};

Bridge::Bridge() : d(std::make_unique<BridgePrivate>()) {}

Bridge::~Bridge()
{
    *d->alive = false;
    for (unsigned long id : d->watchIds)
        d->destination->removeHandler(id);
    d->withdraw();
    d->objects->dropAll();
}

std::unique_ptr<Bridge> Bridge::create(const std::shared_ptr<ServiceManager> &source,
                                       const std::shared_ptr<ServiceManager> &destination, const std::string &name,
                                       const std::vector<std::string> &interfaces)
{
    if (!source || !destination || source == destination || name.empty() || interfaces.empty()
        || source->protocol() != destination->protocol()) {
        BINDER_WARN("bridge for %s: unusable service managers or interfaces", name.c_str());
        return nullptr;
    }
    std::unique_ptr<Bridge> bridge(new Bridge);
    BridgePrivate *d = bridge->d.get();
    d->source = source;
    d->destination = destination;
    d->name = name;
    d->interfaces = interfaces;
    std::weak_ptr<bool> weakAlive = d->alive;
    for (const std::string &interface : interfaces) {
        std::string watched = interface + "/" + name;
        d->watchIds.push_back(destination->addRegistrationHandler(watched, [d, weakAlive](const std::string &n) {
            auto alive = weakAlive.lock();
            if (alive && *alive)
                d->connect(n);
        }));
    }
    // Already there?
    d->connect(interfaces.front() + "/" + name);
    return bridge;
}

bool Bridge::isForwarding() const
{
    return d->forwarder != nullptr;
}

void BridgePrivate::connect(const std::string &fqInstance)
{
    if (target && !target->isDead())
        return;
    std::shared_ptr<RemoteObject> object = destination->getServiceSync(fqInstance);
    if (!object)
        return;
    withdraw();
    target = object;
    std::weak_ptr<bool> weakAlive = alive;
    deathId = target->addDeathHandler([this, weakAlive] {
        auto isAlive = weakAlive.lock();
        if (isAlive && *isAlive) {
            BINDER_INFO("bridge: %s died on %s, withdrawn from %s", name.c_str(), destination->device().c_str(),
                        source->device().c_str());
            withdraw();
        }
    });
    forwarder = LocalObject::create(source->ipc(), interfaces,
                                    [this](const RemoteRequest &request, uint32_t, uint32_t, LocalReply *reply) {
                                        return relay(request, reply);
                                    });
    // Passed back by the source's side, the forwarder is the object itself.
    objects->add(forwarder, target);
    serviceName = ServiceName::create(source, forwarder, name);
    BINDER_INFO("bridge: %s from %s forwarded to %s", name.c_str(), destination->device().c_str(),
                source->device().c_str());
}

void BridgePrivate::withdraw()
{
    serviceName.reset();
    if (forwarder)
        forwarder->drop();
    forwarder.reset();
    if (target)
        target->removeHandler(deathId);
    target.reset();
    deathId = 0;
}

Status BridgePrivate::relay(const RemoteRequest &request, LocalReply *reply)
{
    std::shared_ptr<RemoteObject> to = target;
    if (!to || to->isDead())
        return kStatusDeadObject;
    return objects->relay(request, reply, to);
}

} // namespace ferry::binder
