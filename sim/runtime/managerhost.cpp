#include "managerhost.h"

#include <ferry/binder/protocol.h>
#include <ferry/binder/service_manager_server.h>

#include <QCoreApplication>

#include <cstdio>

using namespace ferry::binder;

int runManagerHost(const QString &device, const QString &protocolName)
{
    Protocol protocol;
    if (!parseProtocol(protocolName.toStdString(), &protocol)) {
        std::fprintf(stderr, "ferry-runtime-sim: unknown protocol %s\n", qPrintable(protocolName));
        return 2;
    }
    Status status = kStatusOk;
    const std::unique_ptr<ServiceManagerServer> server =
        ServiceManagerServer::create(device.toStdString(), protocol, &status);
    if (!server) {
        std::fprintf(stderr, "ferry-runtime-sim: cannot serve the service manager on %s (status %d)\n",
                     qPrintable(device), status);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
