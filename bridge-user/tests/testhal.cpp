// ferry-test-hal DEVICE INSTANCE INTERFACE...
//
// A stand-in for a host HAL: registers one object with the given
// interfaces under INSTANCE on DEVICE's HIDL service manager, prints
// "ready" and serves until killed. Every two-way call is answered with
// status 0, the code and the request's first int32 (or -1).
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <glib.h>

#include <cstdio>

using namespace ferry::binder;

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DEVICE INSTANCE INTERFACE...\n", argv[0]);
        return 2;
    }
    std::shared_ptr<ServiceManager> manager = ServiceManager::get(argv[1], Protocol::Hidl);
    if (!manager)
        return 1;
    std::vector<std::string> interfaces(argv + 3, argv + argc);
    auto object = manager->newLocalObject(interfaces, [](const RemoteRequest &request, uint32_t code, uint32_t,
                                                         LocalReply *reply) {
        Reader reader = request.reader();
        int32_t first = -1;
        reader.readInt32(&first);
        if (reply) {
            reply->writer().appendInt32(0);
            reply->writer().appendInt32(int32_t(code));
            reply->writer().appendInt32(first);
        }
        return kStatusOk;
    });
    if (manager->addServiceSync(argv[2], object) != kStatusOk)
        return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    GMainLoop *loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
    return 0;
}
