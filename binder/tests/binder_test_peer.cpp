// The other process of the two-process tests.
//
//   binder_test_peer serve DEVICE PROTOCOL NAME
//       registers an echo object (test_payload.h) under NAME and serves it
//   binder_test_peer bridge SOURCE DESTINATION NAME INTERFACE...
//       runs a Bridge between two HIDL service managers
// Prints "ready" when set up; runs until SIGTERM.

#include <ferry/binder/blocked_request.h>
#include <ferry/binder/bridge.h>
#include <ferry/binder/client.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/service_name.h>

#include "test_payload.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace ferry::binder;
using namespace ferry::binder::test;

namespace {

GMainLoop *loop;
std::vector<int32_t> recorded;
std::vector<std::shared_ptr<BlockedRequest>> held;
std::shared_ptr<BlockedRequest> race;
std::shared_ptr<ServiceManager> manager;
std::vector<std::weak_ptr<LocalObject>> made;

bool waitForManager(const std::shared_ptr<ServiceManager> &sm)
{
    for (int i = 0; i < 400 && !sm->isPresent(); ++i) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(25000);
    }
    return sm->isPresent();
}

Status serveEcho(const RemoteRequest &req, uint32_t code, uint32_t, LocalReply *reply, Protocol protocol);

std::shared_ptr<LocalObject> newEcho(Protocol protocol)
{
    std::vector<std::string> interfaces;
    if (protocol == Protocol::Hidl)
        interfaces = {kEchoHidl11, kEchoHidl10};
    else
        interfaces = {kEchoAidl};
    return manager->newLocalObject(interfaces, [protocol](const RemoteRequest &req, uint32_t code, uint32_t flags,
                                                          LocalReply *reply) {
        return serveEcho(req, code, flags, reply, protocol);
    });
}

Status serveEcho(const RemoteRequest &req, uint32_t code, uint32_t, LocalReply *reply, Protocol protocol)
{
    Reader r = req.reader();
    switch (code) {
    case kEchoRaw: {
        const void *bytes;
        size_t size = r.bytesRemaining();
        if (!r.readBytes(&bytes, size))
            return kStatusFailed;
        if (reply)
            reply->writer().appendBytes(bytes, size);
        return kStatusOk;
    }
    case kEchoTyped: {
        Payload p;
        std::shared_ptr<RemoteObject> object, null;
        int fd;
        if (!readPayload(r, &p) || !r.readObject(&object) || !r.readObject(&null) || null || !r.readFd(&fd))
            return kStatusFailed;
        char buffer[256];
        int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        ssize_t n = read(fd, buffer, sizeof buffer);
        fcntl(fd, F_SETFL, flags);
        Writer &w = reply->writer();
        writePayload(w, p);
        w.appendRemoteObject(object);
        w.appendNullObject();
        w.appendFd(fd);
        w.appendByteArray(buffer, n > 0 ? int32_t(n) : 0);
        return kStatusOk;
    }
    case kRecord: {
        int32_t value;
        if (r.readInt32(&value))
            recorded.push_back(value);
        return kStatusOk;
    }
    case kGetRecorded: {
        int64_t sum = 0;
        bool ordered = true;
        for (size_t i = 0; i < recorded.size(); ++i) {
            sum += recorded[i];
            if (i && recorded[i] < recorded[i - 1])
                ordered = false;
        }
        reply->writer().appendInt32(int32_t(recorded.size()));
        reply->writer().appendInt64(sum);
        reply->writer().appendBool(ordered);
        recorded.clear();
        return kStatusOk;
    }
    case kCallBack: {
        std::shared_ptr<RemoteObject> callback;
        int32_t x;
        if (!r.readObject(&callback) || !callback || !r.readInt32(&x))
            return kStatusFailed;
        Client client(callback, protocol == Protocol::Hidl ? kCallbackHidl : kCallbackAidl);
        LocalRequest request = client.newRequest();
        request.writer().appendInt32(x);
        std::unique_ptr<RemoteReply> answer;
        Status status = client.transactSync(1, request, &answer);
        int32_t y;
        if (status != kStatusOk)
            return status;
        Reader ar = answer->reader();
        if (!ar.readInt32(&y))
            return kStatusFailed;
        reply->writer().appendInt32(y + 1);
        return kStatusOk;
    }
    case kExit:
        exit(0);
    case kBlock: {
        std::shared_ptr<BlockedRequest> blocked = req.block();
        if (!blocked)
            return kStatusFailed;
        held.push_back(blocked);
        return kStatusOk;
    }
    case kRelease: {
        int32_t released = int32_t(held.size());
        for (auto &blocked : held) {
            blocked->reply()->writer().appendInt32(42);
            blocked->complete(kStatusOk);
        }
        held.clear();
        if (reply)
            reply->writer().appendInt32(released);
        return kStatusOk;
    }
    case kEchoObjects: {
        std::shared_ptr<RemoteObject> object;
        std::shared_ptr<LocalObject> own;   // one of ours, come back
        int fd;
        if ((!r.readObject(&object) && !r.readLocalObject(&own)) || !r.readFd(&fd))
            return kStatusFailed;
        if (own)
            reply->writer().appendLocalObject(own);
        else
            reply->writer().appendRemoteObject(object);
        reply->writer().appendFd(fd);
        return kStatusOk;
    }
    case kPid:
        reply->writer().appendInt32(getpid());
        return kStatusOk;
    case kRaceReply: {
        // Calls back from a thread of ours that is in no transaction, so
        // the call lands on one of the caller's loopers while its main
        // thread waits for this reply.
        std::shared_ptr<RemoteObject> callback;
        if (!r.readObject(&callback) || !callback || !(race = req.block()))
            return kStatusFailed;
        std::thread([callback, protocol] {
            Client client(callback, protocol == Protocol::Hidl ? kCallbackHidl : kCallbackAidl);
            LocalRequest request = client.newRequest();
            request.writer().appendInt32(1);
            std::unique_ptr<RemoteReply> answer;
            client.transactSync(1, request, &answer);
        }).detach();
        return kStatusOk;
    }
    case kRaceStarted:
        if (race) {
            race->reply()->writer().appendInt32(7);
            race->complete(kStatusOk);
            race.reset();
        }
        return kStatusOk;
    case kManyObjects: {
        std::shared_ptr<RemoteObject> callback;
        int32_t n;
        if (!r.readObject(&callback) || !callback || !r.readInt32(&n))
            return kStatusFailed;
        Client client(callback, protocol == Protocol::Hidl ? kCallbackHidl : kCallbackAidl);
        LocalRequest request = client.newRequest();
        request.writer().appendInt32(n);
        std::unique_ptr<RemoteReply> answer;
        Status status = client.transactSync(2, request, &answer);
        if (status != kStatusOk)
            return status;
        Reader ar = answer->reader();
        int32_t alive = 0;
        for (int32_t i = 0; i < n; ++i) {
            std::shared_ptr<RemoteObject> object;
            if (ar.readObject(&object) && object && object->ping() == kStatusOk)
                ++alive;
        }
        reply->writer().appendInt32(alive);
        return kStatusOk;
    }
    case kFdArray: {
        int32_t n;
        if (!r.readInt32(&n) || n < 0 || n > 64)
            return kStatusFailed;
        // Open until the reply (sent after we return) has gone out.
        static std::vector<int32_t> fds;
        for (int32_t fd : fds)
            close(fd);
        fds.clear();
        for (int32_t i = 0; i < n; ++i)
            fds.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
        Writer &w = reply->writer();
        w.appendInt32(0);   // the driver patches nothing in an object at offset 0
        uint32_t parent = w.appendBufferObject(fds.data(), fds.size() * sizeof(int32_t), nullptr);
        w.appendFdArray(BufferParent {parent, 0}, uint32_t(n));
        return kStatusOk;
    }
    case kNewObject: {
        std::shared_ptr<LocalObject> object = newEcho(protocol);
        made.push_back(object);
        reply->writer().appendLocalObject(object);
        return kStatusOk;
    }
    case kLiveObjects: {
        int32_t live = 0;
        for (const auto &object : made)
            live += !object.expired();
        reply->writer().appendInt32(live);
        return kStatusOk;
    }
    default:
        return -EBADMSG;
    }
}

int serve(const char *device, const char *protocolName, const char *name)
{
    Protocol protocol;
    if (!parseProtocol(protocolName, &protocol))
        return 2;
    std::shared_ptr<ServiceManager> sm = ServiceManager::get(device, protocol);
    if (!sm || !waitForManager(sm)) {
        fprintf(stderr, "peer: no service manager on %s\n", device);
        return 1;
    }
    manager = sm;
    auto object = newEcho(protocol);
    auto serviceName = ServiceName::create(sm, object, name);
    if (!serviceName || !serviceName->isRegistered()) {
        fprintf(stderr, "peer: cannot register %s\n", name);
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    g_main_loop_run(loop);
    return 0;
}

int bridge(const char *source, const char *destination, const char *name, std::vector<std::string> interfaces)
{
    auto src = ServiceManager::get(source, Protocol::Hidl);
    auto dst = ServiceManager::get(destination, Protocol::Hidl);
    if (!src || !dst || !waitForManager(src) || !waitForManager(dst))
        return 1;
    auto b = Bridge::create(src, dst, name, interfaces);
    if (!b)
        return 1;
    printf("ready\n");
    fflush(stdout);
    g_main_loop_run(loop);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    loop = g_main_loop_new(nullptr, FALSE);
    g_unix_signal_add(SIGTERM, [](gpointer) -> gboolean {
        g_main_loop_quit(loop);
        return G_SOURCE_REMOVE;
    }, nullptr);
    if (argc == 5 && !strcmp(argv[1], "serve"))
        return serve(argv[2], argv[3], argv[4]);
    if (argc >= 6 && !strcmp(argv[1], "bridge"))
        return bridge(argv[2], argv[3], argv[4], std::vector<std::string>(argv + 5, argv + argc));
    fprintf(stderr, "usage: %s serve DEVICE PROTOCOL NAME | bridge SOURCE DESTINATION NAME INTERFACE...\n", argv[0]);
    return 2;
}
