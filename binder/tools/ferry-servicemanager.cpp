// ferry-servicemanager DEVICE aidl27|aidl28|aidl29|hidl
//
// Serves the service manager protocol on a binder device until SIGTERM or
// SIGINT. Prints "ready" on standard output once it is the device's
// context manager.

#include <ferry/binder/protocol.h>
#include <ferry/binder/service_manager_server.h>

#include <glib-unix.h>
#include <glib.h>

#include <cstdio>
#include <cstring>

using namespace ferry::binder;

int main(int argc, char **argv)
{
    Protocol protocol;
    if (argc != 3 || !parseProtocol(argv[2], &protocol)) {
        fprintf(stderr, "usage: %s DEVICE aidl27|aidl28|aidl29|hidl\n", argv[0]);
        return 2;
    }
    Status status;
    std::unique_ptr<ServiceManagerServer> server = ServiceManagerServer::create(argv[1], protocol, &status);
    if (!server) {
        fprintf(stderr, "%s: cannot serve %s: %s\n", argv[0], argv[1], strerror(status < 0 ? -status : EIO));
        return 1;
    }
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    auto quit = [](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop *>(data));
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGTERM, quit, loop);
    g_unix_signal_add(SIGINT, quit, loop);
    printf("ready\n");
    fflush(stdout);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    server.reset();
    return 0;
}
