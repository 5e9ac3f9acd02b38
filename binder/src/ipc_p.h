#pragma once

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_request.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct binder_transaction_data;
typedef struct _GSource GSource;
typedef struct _GPollFD GPollFD;

namespace ferry::binder {

struct Send;
struct ThreadState;

class IncomingTransaction;
class LocalObject;
class ParcelData;
class RemoteObject;
class RemoteReply;
class Writer;

// The engine behind an Ipc. Looper threads hold it too, so that it
// outlives an Ipc released on one of them.
class IpcPrivate : public std::enable_shared_from_this<IpcPrivate> {
public:
    IpcPrivate(const std::string &device, Protocol protocol);
    ~IpcPrivate();

    Status open(const Ipc::Options &options);
    void shutdown();

    const std::string &device() const { return m_device; }
    Protocol protocol() const { return m_protocol; }
    GMainContext *context() const { return m_context; }
    bool isOwnerThread() const { return std::this_thread::get_id() == m_ownerThread; }
    std::shared_ptr<Ipc> ipc() const { return m_self.lock(); }
    void setSelf(const std::shared_ptr<Ipc> &self) { m_self = self; }

    // The kernel buffer mapping.
    uintptr_t mapStart() const { return reinterpret_cast<uintptr_t>(m_map); }
    size_t mapSize() const { return m_mapSize; }
    bool inMapping(uintptr_t pointer, size_t size) const;

    // Commands written from the calling thread, without reading.
    int writeCommands(const void *commands, size_t size);
    void freeBuffer(uintptr_t buffer);

    // Objects.
    uint64_t registerLocalObject(const std::shared_ptr<LocalObject> &object);
    void unregisterLocalObject(uint64_t id);
    std::shared_ptr<LocalObject> localObjectForId(uint64_t id);
    std::shared_ptr<RemoteObject> remoteObjectForHandle(uint32_t handle);
    void dropRemoteObject(uint32_t handle, uint64_t cookie);   // RemoteObject's destructor
    void remoteObjectDied(uint32_t handle);                   // a call found it dead
    Status setContextManager(const std::shared_ptr<LocalObject> &object);

    // Transactions from the calling thread. *fromPeer tells whether a
    // failed status was sent by the peer or comes from the delivery.
    Status transact(uint32_t handle, uint32_t code, uint32_t flags, const Writer &request,
                    std::unique_ptr<RemoteReply> *reply, bool *fromPeer = nullptr);

    // Work for the main context. Two-way transactions may also be served
    // inline by the owner thread while it waits for a reply.
    void postEvent(std::function<void()> event);
    void postTransaction(const std::shared_ptr<IncomingTransaction> &transaction);
    void runTransaction(const std::shared_ptr<IncomingTransaction> &transaction);
    void transactionFinished(IncomingTransaction &transaction, Status status);
    void mainRequestFinished(IncomingTransaction &transaction, Status status);
    void dispatchTransactions();
    void dispatchEvents();

    // The owner's main loop reading the device itself (see ipc.cpp).
    bool mainPrepare();
    bool mainCheck();
    void mainDispatch();

    // Statistics for tests.
    size_t localObjectCount();
    size_t remoteObjectCount();
    size_t looperCount();
    size_t workerCount();

    // Runs |job| on a worker thread (asynchronous calls); false if none
    // can be had.
    bool startAsync(std::function<void()> job);

private:
    struct LocalEntry {
        std::weak_ptr<LocalObject> object;
        std::shared_ptr<LocalObject> pin;   // held while the kernel references it
        int strong = 0;
        int weak = 0;
    };
    struct RemoteEntry {
        std::weak_ptr<RemoteObject> object;
        uint64_t cookie = 0;
    };

    void looperMain();
    void workerMain();
    void spawnLooperLocked();
    void releaseMainLocked();
    bool mainAtBase() const;
    bool mainAtBaseServing();
    bool enterOwnerRead();
    void leaveOwnerRead();
    void sendHeldReply();
    Status run(ThreadState &state, Send &send, const void *command, size_t size);
    bool readMore(ThreadState &state, bool block);
    void processOne(ThreadState &state);
    void finishBatch(ThreadState &state);
    void flushOut(ThreadState &state);
    void handleTransaction(ThreadState &state, const binder_transaction_data &tr);
    void relayAndWait(ThreadState &state, const std::shared_ptr<IncomingTransaction> &transaction);
    void handleReply(Send &send, const binder_transaction_data &tr);
    void handleDeadBinder(uint64_t cookie);
    void handleRefCommand(ThreadState &state, uint32_t command, uint64_t ptr, uint64_t cookie);
    void applyDeferredRefs(std::vector<std::pair<uint32_t, uint64_t>> &deferred);
    void sendReply(ThreadState &state, const std::shared_ptr<IncomingTransaction> &transaction);
    Status transactHere(ThreadState &state, uint32_t handle, uint32_t code, uint32_t flags, const Writer &request,
                        std::unique_ptr<RemoteReply> *reply, bool *fromPeer);
    Status transactVia(IncomingTransaction &receiver, uint32_t handle, uint32_t code, uint32_t flags,
                       const Writer &request, std::unique_ptr<RemoteReply> *reply, bool *fromPeer);
    void kill(const std::shared_ptr<RemoteObject> &object, bool fromKernel);
    void signal(int fd);

    std::weak_ptr<Ipc> m_self;
    const std::string m_device;
    const Protocol m_protocol;
    int m_fd = -1;
    void *m_map = nullptr;
    size_t m_mapSize = 0;
    GMainContext *m_context = nullptr;
    std::thread::id m_ownerThread;
    int m_txEventFd = -1;
    int m_eventFd = -1;
    GSource *m_txSource = nullptr;
    GSource *m_eventSource = nullptr;
    GSource *m_mainSource = nullptr;
    GPollFD *m_mainPoll = nullptr;   // in m_mainSource

    // The owner thread's command reader, and how deep it is in binder
    // work of its own (handlers it runs from what it read).
    std::unique_ptr<ThreadState> m_mainState;
    int m_mainDepth = 0;
    bool m_mainEntered = false;
    unsigned long m_mainIoctlsAtPoll = 0;

    std::mutex m_objectsMutex;
    uint64_t m_nextLocalId = 0x1000;
    std::map<uint64_t, LocalEntry> m_locals;
    std::weak_ptr<LocalObject> m_contextManager;   // it holds us: its maker keeps it
    uint64_t m_nextCookie = 1;
    std::map<uint32_t, RemoteEntry> m_remotes;
    std::map<uint64_t, uint32_t> m_cookies;

    std::mutex m_queueMutex;
    std::deque<std::shared_ptr<IncomingTransaction>> m_transactions;
    std::deque<std::function<void()>> m_events;
    bool m_ownerReading = false;   // in a blocking read waiting for a reply

    std::mutex m_looperMutex;
    std::condition_variable m_looperCondition;
    std::vector<std::thread> m_loopers;
    int m_liveLoopers = 0;
    int m_idleLoopers = 0;
    // The owner's main loop takes the device's work while this is set;
    // loopers park then, and it reads only once none of them is reading.
    std::condition_variable m_asyncCondition;
    std::deque<std::function<void()>> m_asyncJobs;
    int m_liveWorkers = 0;
    int m_idleWorkers = 0;
    bool m_mainServes = false;
    int m_readingLoopers = 0;
    // A request the owner thread received and a handler blocked: only that
    // thread can answer it, and until it has, loopers serve.
    std::shared_ptr<IncomingTransaction> m_mainHeld;
    std::atomic<bool> m_stopping {false};
};

// The engine of an Ipc, for the library's own classes.
inline IpcPrivate &ipcPrivate(const Ipc &ipc)
{
    return *ipc.d;
}

// The whole of a request, header included (for relaying it).
inline const std::shared_ptr<const ParcelData> &requestParcel(const RemoteRequest &request)
{
    return request.m_parcel;
}

// One BR_TRANSACTION being served. A two-way one that a thread other than
// the owner received is relayed to the main context while that thread
// waits; calls the handler makes go out from the receiving thread, which
// holds the transaction in the driver (see transactVia).
class IncomingTransaction : public std::enable_shared_from_this<IncomingTransaction> {
public:
    std::shared_ptr<Ipc> ipc;
    std::shared_ptr<LocalObject> object;
    std::unique_ptr<RemoteRequest> request;
    std::unique_ptr<LocalReply> reply;   // null for one-way
    bool servedInline = false;          // cannot be blocked
    bool relayed = false;               // a thread waits for it in relayAndWait
    bool servedByMain = false;          // the owner's main loop read it; it replies
    // Guarded by the Ipc's looper mutex for relayed transactions.
    bool blocked = false;
    bool handlerRunning = false;
    bool done = false;
    Status status = kStatusOk;
    // Calls the handler asked the receiving thread to make; the argument
    // is false when they are abandoned at shutdown.
    std::deque<std::function<void(bool)>> calls;

    void finish(Status status);
};

} // namespace ferry::binder
