// ferry-connman-standin: connman's manager, services and technologies on a
// (private) system bus, for tests and the demo (see connmanstandin.h).
//
//   ferry-connman-standin [--bus ADDRESS]
//
// Without --bus it uses DBUS_SYSTEM_BUS_ADDRESS. Prints "ready" on stdout
// once it owns "net.connman". SIGTERM or SIGINT end it (it holds nothing
// that needs an orderly stop).

#include "connmanstandin.h"

#include <QCoreApplication>
#include <QDBusError>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);

    QString address;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--bus") && i + 1 < args.size()) {
            address = args.at(++i);
        } else {
            std::fprintf(stderr, "usage: ferry-connman-standin [--bus ADDRESS]\n");
            return 2;
        }
    }
    // A named connection: Qt holds back what its default connections
    // receive until the event loop first runs.
    const QString name = QStringLiteral("ferry-connman-standin");
    QDBusConnection bus = address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, name)
                                            : QDBusConnection::connectToBus(address, name);
    if (!bus.isConnected()) {
        std::fprintf(stderr, "ferry-connman-standin: cannot connect to the bus: %s\n",
                     qPrintable(bus.lastError().message()));
        return 1;
    }
    ConnmanStandin standin(bus);
    QString error;
    if (!standin.publish(&error)) {
        std::fprintf(stderr, "ferry-connman-standin: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
