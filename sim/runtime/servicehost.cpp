#include "servicehost.h"

#include "novumparcel.h"
#include "simservice.h"
#include "transactionlog.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <QCoreApplication>
#include <QThread>

#include <cstdio>

using namespace ferry::binder;

namespace {
// The service manager of a freshly started simulator is normally up
// already; allow for one that is still starting.
const int kAddAttempts = 50;
const int kAddRetryMs = 100;
}

int runServiceHost(const QString &name)
{
    std::unique_ptr<SimService> service = SimServiceRegistry::create(name);
    if (!service) {
        std::fprintf(stderr, "ferry-runtime-sim: no service %s\n", qPrintable(name));
        return 2;
    }
    const std::string device = service->device().toStdString();
    const std::shared_ptr<ServiceManager> manager = ServiceManager::get(device);
    if (!manager) {
        std::fprintf(stderr, "ferry-runtime-sim: no service manager on %s\n", device.c_str());
        return 1;
    }

    std::vector<std::string> interfaces;
    for (const QString &i : service->interfaces())
        interfaces.push_back(i.toStdString());

    SimService *svc = service.get();
    const std::shared_ptr<LocalObject> object = manager->newLocalObject(
        interfaces, [svc, name](const RemoteRequest &request, uint32_t code, uint32_t flags,
                                LocalReply *reply) -> Status {
            NovumParcel in(&request);
            NovumParcel out = reply ? NovumParcel(reply) : NovumParcel();
            SimCall call{request, code, flags, in, out, reply, QJsonArray(), QJsonObject()};
            const Status status = svc->handle(call);
            QJsonObject line = call.extra;
            line.insert(QStringLiteral("service"), name);
            line.insert(QStringLiteral("code"), qint64(code));
            line.insert(QStringLiteral("oneway"), (flags & kFlagOneway) != 0);
            line.insert(QStringLiteral("interface"), QString::fromStdString(request.interface()));
            line.insert(QStringLiteral("args"), call.args);
            line.insert(QStringLiteral("status"), status);
            TransactionLog::append(line);
            return status;
        });

    const std::string registration = service->registrationName(name).toStdString();
    Status status = kStatusFailed;
    for (int attempt = 0; attempt < kAddAttempts; ++attempt) {
        status = manager->addServiceSync(registration, object);
        if (status == kStatusOk)
            break;
        QThread::msleep(kAddRetryMs);
    }
    if (status != kStatusOk) {
        std::fprintf(stderr, "ferry-runtime-sim: cannot register %s on %s (status %d)\n",
                     registration.c_str(), device.c_str(), status);
        return 1;
    }
    svc->started();
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
