#include <ferry/binder/service_manager_server.h>

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/log.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_request.h>

#include "service_manager_server_p.h"

#include <cerrno>

namespace ferry::binder {

ServiceManagerServer::ServiceManagerServer() : d(std::make_unique<ServiceManagerServerPrivate>()) {}

ServiceManagerServer::~ServiceManagerServer()
{
    *d->alive = false;
    for (auto &[name, service] : d->services)
        service.object->removeHandler(service.deathId);
    for (auto &listener : d->listeners)
        listener->callback->removeHandler(listener->deathId);
    if (d->object)
        d->object->drop();
}

std::unique_ptr<ServiceManagerServer> ServiceManagerServer::create(const std::string &device, Protocol protocol,
                                                                   Status *status)
{
    Status ignored;
    Status &result = status ? *status : ignored;
    Ipc::Options options;
    options.mapSize = 128 * 1024;
    std::shared_ptr<Ipc> ipc = Ipc::get(device, protocol, options);
    if (!ipc) {
        result = -ENODEV;
        return nullptr;
    }
    std::unique_ptr<ServiceManagerServer> server(new ServiceManagerServer);
    ServiceManagerServerPrivate *d = server->d.get();
    d->ipc = ipc;
    d->protocol = ipc->protocol();
    std::vector<std::string> interfaces;
    if (d->protocol == Protocol::Hidl)
        interfaces = {"android.hidl.manager@1.2::IServiceManager", "android.hidl.manager@1.1::IServiceManager",
                      "android.hidl.manager@1.0::IServiceManager"};
    else
        interfaces = {"android.os.IServiceManager"};
    d->object = LocalObject::create(ipc, interfaces,
                                    [d](const RemoteRequest &request, uint32_t, uint32_t, LocalReply *reply) {
                                        return d->protocol == Protocol::Hidl ? d->handleHidl(request, reply)
                                                                             : d->handleAidl(request, reply);
                                    });
    result = ipc->becomeContextManager(d->object);
    if (result != kStatusOk)
        return nullptr;
    BINDER_INFO("serving the %s service manager on %s", protocolName(d->protocol), device.c_str());
    return server;
}

std::vector<std::string> ServiceManagerServer::names() const
{
    std::vector<std::string> out;
    for (auto &[name, service] : d->services)
        out.push_back(name);
    return out;
}

void ServiceManagerServerPrivate::addService(const std::string &name, const std::shared_ptr<RemoteObject> &remote)
{
    removeService(name);
    Service &service = services[name];
    service.object = remote;
    std::weak_ptr<bool> weakAlive = alive;
    std::weak_ptr<RemoteObject> weakObject = remote;
    service.deathId = remote->addDeathHandler([this, weakAlive, weakObject] {
        auto isAlive = weakAlive.lock();
        auto object = weakObject.lock();
        if (isAlive && *isAlive && object)
            forgetObject(object);
    });
    BINDER_DEBUG("%s: added %s", ipc->device().c_str(), name.c_str());
}

void ServiceManagerServerPrivate::removeService(const std::string &name)
{
    auto it = services.find(name);
    if (it == services.end())
        return;
    it->second.object->removeHandler(it->second.deathId);
    services.erase(it);
}

// A service's process died: its names go.
void ServiceManagerServerPrivate::forgetObject(const std::shared_ptr<RemoteObject> &object)
{
    for (auto it = services.begin(); it != services.end();) {
        if (it->second.object == object) {
            BINDER_DEBUG("%s: %s died", ipc->device().c_str(), it->first.c_str());
            it->second.object->removeHandler(it->second.deathId);
            it = services.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace ferry::binder
