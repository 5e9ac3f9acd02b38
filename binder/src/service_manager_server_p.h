#pragma once

#include <ferry/binder/service_manager_server.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ferry::binder {

class Ipc;
class LocalObject;
class LocalReply;
class RemoteObject;
class RemoteRequest;

class ServiceManagerServerPrivate {
public:
    struct Service {
        std::shared_ptr<RemoteObject> object;
        unsigned long deathId = 0;
    };
    struct Listener {
        std::string fqName;
        std::string instance;   // empty: every instance
        std::shared_ptr<RemoteObject> callback;
        unsigned long deathId = 0;
    };

    std::shared_ptr<Ipc> ipc;
    Protocol protocol = Protocol::Aidl28;
    std::shared_ptr<LocalObject> object;
    std::map<std::string, Service> services;   // AIDL name, or HIDL "fqName/instance"
    std::vector<std::unique_ptr<Listener>> listeners;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    Status handleAidl(const RemoteRequest &request, LocalReply *reply);
    Status handleHidl(const RemoteRequest &request, LocalReply *reply);
    void addService(const std::string &name, const std::shared_ptr<RemoteObject> &object);
    void removeService(const std::string &name);
    void forgetObject(const std::shared_ptr<RemoteObject> &object);
    void notify(const std::string &fqName, const std::string &instance, bool preexisting,
                const std::shared_ptr<RemoteObject> &callback);
};

} // namespace ferry::binder
