// ferry-test-hal DEVICE INSTANCE INTERFACE...
//
// A stand-in for a host HAL: registers one object with the given
// interfaces under INSTANCE on DEVICE's HIDL service manager, prints
// "ready" and serves until killed. Every two-way call is answered with
// status 0, the code and the request's first int32 (or -1).
//
// A request that starts with a binder object (a callback, as the camera
// provider's setCallback) is answered with status 0, the code and the
// status of calling that object back at once (code 1, int32 100, under the
// interface $FERRY_TEST_HAL_CALLBACK); 100 ms later the object is called
// once more (int32 200) from the main loop, and then let go.
#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <glib.h>

#include <cstdio>
#include <cstdlib>

using namespace ferry::binder;

namespace {

Status callBack(const std::shared_ptr<RemoteObject> &callback, int32_t value)
{
    const char *interface = std::getenv("FERRY_TEST_HAL_CALLBACK");
    Client client(callback, interface ? interface : "android.hidl.base@1.0::IBase");
    LocalRequest request = client.newRequest(1);
    request.writer().appendInt32(value);
    std::unique_ptr<RemoteReply> reply;
    return client.transactSync(1, request, &reply);
}

} // namespace

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
        std::shared_ptr<RemoteObject> callback;
        int32_t first = -1;
        if (Reader(reader).readObject(&callback) && callback) {
            first = callBack(callback, 100);
            auto *later = new std::shared_ptr<RemoteObject>(callback);
            g_timeout_add_full(G_PRIORITY_DEFAULT, 100, [](gpointer data) -> gboolean {
                callBack(*static_cast<std::shared_ptr<RemoteObject> *>(data), 200);
                return G_SOURCE_REMOVE;
            }, later, [](gpointer data) { delete static_cast<std::shared_ptr<RemoteObject> *>(data); });
        } else {
            reader.readInt32(&first);
        }
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
