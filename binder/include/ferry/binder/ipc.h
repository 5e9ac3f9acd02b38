#pragma once

#include <ferry/binder/protocol.h>
#include <ferry/binder/status.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

typedef struct _GMainContext GMainContext;

namespace ferry::binder {

class IpcPrivate;
class LocalObject;
class PendingCall;
class RemoteReply;
class Writer;

// One open binder device, shared by every user in the process:
// Ipc::get() returns the same object for the same device while anybody
// holds it. Looper threads receive incoming work; transactions, death
// notifications and registration callbacks are dispatched on the GLib main
// context that was the thread-default one of the thread that created the
// Ipc (Qt's main thread runs it through Qt's GLib event dispatcher).
//
// While the owner thread waits in a synchronous call it serves incoming
// two-way transactions, so calls back into this process never deadlock;
// call-backs the driver routes into that very call run inline there. A
// call-back into a synchronous call of another thread runs on the main
// context like any other transaction, while that thread waits: a main
// context that is itself blocked waiting for that thread deadlocks. The
// calls a handler makes go out from the thread that received its request,
// as the driver expects of nested calls.
class Ipc : public std::enable_shared_from_this<Ipc> {
public:
    struct Options {
        size_t mapSize = 0;   // 0: 1 MiB - 2 pages
    };

    static std::shared_ptr<Ipc> get(const std::string &device);   // protocolForDevice()
    static std::shared_ptr<Ipc> get(const std::string &device, Protocol protocol);
    static std::shared_ptr<Ipc> get(const std::string &device, Protocol protocol, const Options &);
    ~Ipc();

    const std::string &device() const;
    Protocol protocol() const;
    GMainContext *context() const;
    bool isOwnerThread() const;

    // Make this process the device's context manager serving |object| at
    // handle 0 for everybody else. The caller keeps |object| alive (it
    // holds this Ipc); once it is gone, calls to handle 0 fail.
    Status becomeContextManager(const std::shared_ptr<LocalObject> &object);

    // Raw transactions to a handle; Client and RemoteObject wrap these.
    // *source (if given) tells a peer's answer from a delivery failure.
    Status transactSync(uint32_t handle, uint32_t code, const Writer &request,
                        std::unique_ptr<RemoteReply> *reply, StatusSource *source = nullptr);
    Status transactOneway(uint32_t handle, uint32_t code, const Writer &request);
    // A two-way call that does not block the caller: |handler| gets the
    // outcome on the main context. Calls back into this process during
    // it are served on the main context too. A few worker threads wait for
    // the replies; calls beyond them queue until one is free.
    std::shared_ptr<PendingCall> transactAsync(uint32_t handle, uint32_t code, Writer request,
                                               std::function<void(Status, StatusSource, std::unique_ptr<RemoteReply>)> handler);

    Ipc(const Ipc &) = delete;
    Ipc &operator=(const Ipc &) = delete;

private:
    friend class IpcPrivate;
    friend IpcPrivate &ipcPrivate(const Ipc &ipc);
    Ipc();
    std::shared_ptr<IpcPrivate> d;
};

} // namespace ferry::binder
