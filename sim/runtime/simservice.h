#pragma once

#include <ferry/binder/status.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class NovumParcel;

namespace ferry::binder {
class LocalReply;
class RemoteRequest;
}

// One incoming transaction as a simulated Android service sees it. The
// service reads its arguments from `in`, writes the reply (AIDL: exception
// code first) into `out` (which drops writes for one-way calls) and puts
// what it decoded into `args`, which goes to the transaction log.
struct SimCall
{
    const ferry::binder::RemoteRequest &request;
    uint32_t code;
    uint32_t flags;
    NovumParcel &in;
    NovumParcel &out;
    ferry::binder::LocalReply *reply;   // null for one-way calls
    QJsonArray args;
    QJsonObject extra;                  // merged into the log line

    bool isOneway() const { return reply == nullptr; }
};

// An Android-side service of the simulated runtime. Each runs in a process
// of its own (so that killing it is a real binder death) and is registered
// with the service manager of its device under registrationName().
class SimService
{
public:
    virtual ~SimService() = default;

    virtual QString device() const { return QStringLiteral("/dev/vororoveredi"); }
    // The interfaces the object answers; requests naming another are
    // refused by the binder library.
    virtual QStringList interfaces() const = 0;
    // Name given to the service manager; HIDL services give the instance.
    virtual QString registrationName(const QString &serviceName) const { return serviceName; }
    // Runs in the service's process once it is registered.
    virtual void started() {}
    virtual ferry::binder::Status handle(SimCall &call) = 0;
};

// Services by name. Each service file registers itself:
//
//     FERRY_SIM_SERVICE("test.echo", TestEchoService)
class SimServiceRegistry
{
public:
    using Factory = std::function<std::unique_ptr<SimService>()>;

    static bool add(const QString &name, Factory factory);
    static QStringList names();
    static bool contains(const QString &name);
    static std::unique_ptr<SimService> create(const QString &name);
};

#define FERRY_SIM_SERVICE_CAT2(a, b) a##b
#define FERRY_SIM_SERVICE_CAT(a, b) FERRY_SIM_SERVICE_CAT2(a, b)
#define FERRY_SIM_SERVICE(name, Class)                                                         \
    static const bool FERRY_SIM_SERVICE_CAT(s_registered_, __LINE__) =                          \
        SimServiceRegistry::add(QStringLiteral(name), [] { return std::unique_ptr<SimService>(new Class); });
