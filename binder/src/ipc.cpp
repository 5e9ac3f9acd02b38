#include <ferry/binder/ipc.h>

#include <ferry/binder/local_object.h>
#include <ferry/binder/log.h>
#include <ferry/binder/pending_call.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/writer.h>

#include "driver_p.h"
#include "ipc_p.h"
#include "parcel_data_p.h"
#include "rpc_protocol_p.h"

#include <glib-unix.h>
#include <glib.h>
#include <linux/android/binder.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <system_error>

// Linux 6.7 answers a one-way call to a frozen process with this instead
// of BR_TRANSACTION_COMPLETE; older headers lack it.
#ifndef BR_TRANSACTION_PENDING_FROZEN
#define BR_TRANSACTION_PENDING_FROZEN _IO('r', 20)
#endif

namespace ferry::binder {

namespace {

// Each request a handler blocks parks one looper until it completes.
constexpr int kMaxLoopers = 16;
// Threads that wait for asynchronous calls' replies.
constexpr int kMaxAsyncWorkers = 4;
constexpr int kLooperFailureLimit = 10;
// How long the owner's main loop waits in a synchronous call of its own
// before loopers take over the calls it cannot read meanwhile.
constexpr int kMainCallGraceMs = 20;
// Batches the main loop reads in one go before it lets other sources run.
constexpr int kMainReadRounds = 32;
constexpr size_t kReadBufferSize = 512;

std::mutex &registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, std::weak_ptr<Ipc>> &registry()
{
    static auto *map = new std::map<std::string, std::weak_ptr<Ipc>>;
    return *map;
}

template <typename T>
void appendCommand(std::vector<uint8_t> &out, uint32_t command, const T &payload)
{
    const uint8_t *c = reinterpret_cast<const uint8_t *>(&command);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(&payload);
    out.insert(out.end(), c, c + sizeof command);
    out.insert(out.end(), p, p + sizeof payload);
}

Status wireStatusToStatus(int32_t wire)
{
    return wire == -EPIPE ? kStatusDeadObject : Status(wire);
}

int32_t statusToWire(Status status)
{
    return status == kStatusDeadObject ? -EPIPE : int32_t(status);
}

} // namespace

// ---------------------------------------------------------------------------
// Per-thread state: one command reader per thread and device, whatever
// call, reply or served transaction the thread is in. The driver keeps one
// transaction stack per thread, and what it returns belongs to that stack:
// a reply answers the innermost call this thread waits for, a completion
// (or the error that replaces it) the oldest command not yet acknowledged.
// Reading per call instead lets an inner read swallow an outer reply.

// An outgoing transaction or reply this thread waits on.
struct Send {
    bool twoWay = false;
    bool completed = false;   // BR_TRANSACTION_COMPLETE or what stands for it
    bool finished = false;    // one-way: completed; two-way: answered
    Status status = kStatusOk;
    bool fromPeer = false;    // status sent by the peer (TF_STATUS_CODE)
    bool deadReply = false;   // the target is gone
    std::shared_ptr<const ParcelData> reply;
    // A reply's objects stay alive until the driver's reference commands
    // for them have been read, which is before the reply's completion.
    std::shared_ptr<IncomingTransaction> keep;
};

struct ThreadState {
    explicit ThreadState(IpcPrivate *ipc) : ipc(ipc) {}
    IpcPrivate *ipc;
    bool looper = false;
    std::vector<Send *> sends;   // oldest first
    // Commands read but not handled yet; nested reads finish them first.
    uint8_t in[kReadBufferSize];
    size_t inPos = 0;
    size_t inSize = 0;
    // Acknowledgements to write, and references to drop after the batch.
    std::vector<uint8_t> out;
    std::vector<std::pair<uint32_t, uint64_t>> deferredRefs;
    bool onewayServed = false;
};

// The owner's main loop source: polls the device while the owner serves.
struct MainSource {
    GSource source;
    std::weak_ptr<IpcPrivate> *engine;
    GPollFD poll;
};

namespace {

thread_local std::vector<ThreadState *> t_states;
// The relayed transaction whose handler runs on this thread now: calls it
// makes go out from the thread that received it.
thread_local IncomingTransaction *t_relayed = nullptr;

ThreadState *stateFor(const IpcPrivate *ipc)
{
    for (auto it = t_states.rbegin(); it != t_states.rend(); ++it) {
        if ((*it)->ipc == ipc)
            return *it;
    }
    return nullptr;
}

struct StateScope {
    explicit StateScope(ThreadState *state) : state(state) { t_states.push_back(state); }
    ~StateScope() { t_states.erase(std::find(t_states.begin(), t_states.end(), state)); }
    ThreadState *state;
};

} // namespace

// ---------------------------------------------------------------------------
// Ipc

Ipc::Ipc() = default;

Ipc::~Ipc()
{
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(d->device());
        if (it != registry().end() && it->second.expired())
            registry().erase(it);
    }
    d->shutdown();
}

std::shared_ptr<Ipc> Ipc::get(const std::string &device)
{
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(device);
        if (it != registry().end()) {
            if (std::shared_ptr<Ipc> ipc = it->second.lock())
                return ipc;
        }
    }
    return get(device, protocolForDevice(device), Options());
}

std::shared_ptr<Ipc> Ipc::get(const std::string &device, Protocol protocol)
{
    return get(device, protocol, Options());
}

std::shared_ptr<Ipc> Ipc::get(const std::string &device, Protocol protocol, const Options &options)
{
    // Declared before the lock: one that failed to open is destroyed after
    // unlocking, since its destructor takes the lock too.
    std::shared_ptr<Ipc> ipc;
    std::lock_guard<std::mutex> lock(registryMutex());
    auto it = registry().find(device);
    if (it != registry().end()) {
        if (std::shared_ptr<Ipc> ipc = it->second.lock()) {
            if (ipc->protocol() != protocol)
                BINDER_WARN("%s is already open with protocol %s, not %s", device.c_str(),
                            protocolName(ipc->protocol()), protocolName(protocol));
            return ipc;
        }
    }
    ipc.reset(new Ipc);
    ipc->d = std::make_shared<IpcPrivate>(device, protocol);
    ipc->d->setSelf(ipc);
    Status status = ipc->d->open(options);
    if (status != kStatusOk) {
        BINDER_WARN("cannot open %s: %s", device.c_str(), strerror(-status));
        return nullptr;
    }
    registry()[device] = ipc;
    return ipc;
}

const std::string &Ipc::device() const { return d->device(); }
Protocol Ipc::protocol() const { return d->protocol(); }
GMainContext *Ipc::context() const { return d->context(); }
bool Ipc::isOwnerThread() const { return d->isOwnerThread(); }

Status Ipc::becomeContextManager(const std::shared_ptr<LocalObject> &object)
{
    return d->setContextManager(object);
}

Status Ipc::transactSync(uint32_t handle, uint32_t code, const Writer &request, std::unique_ptr<RemoteReply> *reply,
                         StatusSource *source)
{
    bool fromPeer = false;
    Status status = d->transact(handle, code, kFlagAcceptFds, request, reply, &fromPeer);
    if (source)
        *source = fromPeer ? StatusSource::Peer : StatusSource::Delivery;
    return status;
}

Status Ipc::transactOneway(uint32_t handle, uint32_t code, const Writer &request)
{
    return d->transact(handle, code, kFlagOneway, request, nullptr);
}

std::shared_ptr<PendingCall> Ipc::transactAsync(uint32_t handle, uint32_t code, Writer request,
                                                std::function<void(Status, StatusSource, std::unique_ptr<RemoteReply>)> handler)
{
    auto pending = std::make_shared<PendingCall>(std::move(handler));
    IpcPrivate *engine = d.get();
    auto body = std::make_shared<Writer>(std::move(request));
    auto run = [engine, pending, handle, code, body] {
        std::unique_ptr<RemoteReply> reply;
        bool fromPeer = false;
        Status status = pending->isCancelled()
            ? -ECANCELED : engine->transact(handle, code, kFlagAcceptFds, *body, &reply, &fromPeer);
        auto shared = std::make_shared<std::unique_ptr<RemoteReply>>(std::move(reply));
        StatusSource source = fromPeer ? StatusSource::Peer : StatusSource::Delivery;
        engine->postEvent([pending, status, source, shared] { pending->deliver(status, source, std::move(*shared)); });
    };
    if (!engine->startAsync(std::move(run)))
        engine->postEvent([pending] { pending->deliver(-EAGAIN, StatusSource::Delivery, nullptr); });
    return pending;
}

// ---------------------------------------------------------------------------
// Opening and closing

IpcPrivate::IpcPrivate(const std::string &device, Protocol protocol)
    : m_device(device), m_protocol(protocol)
{
}

IpcPrivate::~IpcPrivate()
{
    if (m_mainSource) {
        g_source_destroy(m_mainSource);
        g_source_unref(m_mainSource);
    }
    if (m_txSource) {
        g_source_destroy(m_txSource);
        g_source_unref(m_txSource);
    }
    if (m_eventSource) {
        g_source_destroy(m_eventSource);
        g_source_unref(m_eventSource);
    }
    if (m_txEventFd >= 0)
        close(m_txEventFd);
    if (m_eventFd >= 0)
        close(m_eventFd);
    driver::munmap(m_map, m_mapSize);
    driver::close(m_fd);
    if (m_context)
        g_main_context_unref(m_context);
}

Status IpcPrivate::open(const Ipc::Options &options)
{
    int fd = driver::open(m_device.c_str());
    if (fd < 0)
        return fd;
    m_fd = fd;
    binder_version version {};
    int rc = driver::ioctl(m_fd, BINDER_VERSION, &version);
    if (rc < 0)
        return rc;
    if (version.protocol_version != BINDER_CURRENT_PROTOCOL_VERSION) {
        BINDER_ERR("%s speaks binder protocol %d, not %d", m_device.c_str(), version.protocol_version,
                   BINDER_CURRENT_PROTOCOL_VERSION);
        return -EPROTO;
    }
    long page = sysconf(_SC_PAGESIZE);
    m_mapSize = options.mapSize ? options.mapSize : size_t(1024 * 1024 - 2 * page);
    m_map = driver::mmap(m_fd, m_mapSize);
    if (!m_map)
        return -ENOMEM;
    uint32_t maxThreads = 0;   // we spawn our own loopers
    driver::ioctl(m_fd, BINDER_SET_MAX_THREADS, &maxThreads);

    m_txEventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_txEventFd < 0 || m_eventFd < 0)
        return -errno;

    m_context = g_main_context_ref_thread_default();
    m_ownerThread = std::this_thread::get_id();
    std::weak_ptr<IpcPrivate> *txWeak = new std::weak_ptr<IpcPrivate>(shared_from_this());
    std::weak_ptr<IpcPrivate> *evWeak = new std::weak_ptr<IpcPrivate>(shared_from_this());
    auto destroy = [](gpointer data) { delete static_cast<std::weak_ptr<IpcPrivate> *>(data); };
    m_txSource = g_unix_fd_source_new(m_txEventFd, G_IO_IN);
    g_source_set_callback(
        m_txSource,
        G_SOURCE_FUNC(+[](gint, GIOCondition, gpointer data) -> gboolean {
            if (auto self = static_cast<std::weak_ptr<IpcPrivate> *>(data)->lock())
                self->dispatchTransactions();
            return G_SOURCE_CONTINUE;
        }),
        txWeak, destroy);
    g_source_attach(m_txSource, m_context);
    m_eventSource = g_unix_fd_source_new(m_eventFd, G_IO_IN);
    g_source_set_callback(
        m_eventSource,
        G_SOURCE_FUNC(+[](gint, GIOCondition, gpointer data) -> gboolean {
            if (auto self = static_cast<std::weak_ptr<IpcPrivate> *>(data)->lock())
                self->dispatchEvents();
            return G_SOURCE_CONTINUE;
        }),
        evWeak, destroy);
    g_source_attach(m_eventSource, m_context);

    // The owner's main loop polls the device and serves what it reads on
    // its own thread, as a single-threaded Android server does: no hop
    // from a looper and back for every call.
    m_mainState = std::make_unique<ThreadState>(this);
    static GSourceFuncs mainFuncs = {
        [](GSource *source, gint *timeout) -> gboolean {
            *timeout = -1;
            auto self = reinterpret_cast<MainSource *>(source)->engine->lock();
            return self && self->mainPrepare();
        },
        [](GSource *source) -> gboolean {
            auto self = reinterpret_cast<MainSource *>(source)->engine->lock();
            return self && self->mainCheck();
        },
        [](GSource *source, GSourceFunc, gpointer) -> gboolean {
            if (auto self = reinterpret_cast<MainSource *>(source)->engine->lock())
                self->mainDispatch();
            return G_SOURCE_CONTINUE;
        },
        [](GSource *source) { delete reinterpret_cast<MainSource *>(source)->engine; },
        nullptr,
        nullptr,
    };
    m_mainSource = g_source_new(&mainFuncs, sizeof(MainSource));
    auto *main = reinterpret_cast<MainSource *>(m_mainSource);
    main->engine = new std::weak_ptr<IpcPrivate>(shared_from_this());
    main->poll.fd = m_fd;
    main->poll.events = 0;
    main->poll.revents = 0;
    m_mainPoll = &main->poll;
    g_source_add_poll(m_mainSource, m_mainPoll);
    g_source_attach(m_mainSource, m_context);

    std::lock_guard<std::mutex> lock(m_looperMutex);
    spawnLooperLocked();
    BINDER_DEBUG("opened %s (%s)", m_device.c_str(), protocolName(m_protocol));
    return kStatusOk;
}

void IpcPrivate::shutdown()
{
    // A request the owner thread still holds is answered before the
    // device goes, as a looper answers the ones it holds.
    if (isOwnerThread() && m_mainState && mainAtBase()) {
        {
            std::lock_guard<std::mutex> lock(m_looperMutex);
            if (m_mainHeld && !m_mainHeld->done) {
                m_mainHeld->status = kStatusFailed;
                m_mainHeld->done = true;
            }
        }
        StateScope scope(m_mainState.get());
        sendHeldReply();
    }
    m_stopping = true;
    m_looperCondition.notify_all();
    std::vector<std::thread> loopers;
    {
        std::unique_lock<std::mutex> lock(m_looperMutex);
        bool self = false;
        for (std::thread &t : m_loopers)
            self |= t.get_id() == std::this_thread::get_id();
        // Flushing wakes blocked readers; repeat for threads that were
        // between their check and their read.
        while (m_liveLoopers + m_liveWorkers > (self ? 1 : 0)) {
            m_looperCondition.notify_all();
            m_asyncCondition.notify_all();
            driver::wakeAll(m_fd);
            m_looperCondition.wait_for(lock, std::chrono::milliseconds(20));
        }
        m_asyncJobs.clear();
        loopers.swap(m_loopers);
    }
    for (std::thread &t : loopers) {
        if (t.get_id() == std::this_thread::get_id())
            t.detach();
        else
            t.join();
    }
    if (m_mainSource)
        g_source_destroy(m_mainSource);
    if (m_txSource)
        g_source_destroy(m_txSource);
    if (m_eventSource)
        g_source_destroy(m_eventSource);
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        m_mainHeld.reset();
    }
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_transactions.clear();
    m_events.clear();
}

bool IpcPrivate::inMapping(uintptr_t pointer, size_t size) const
{
    uintptr_t start = mapStart();
    return m_map && pointer >= start && pointer - start <= m_mapSize && size <= m_mapSize - (pointer - start);
}

int IpcPrivate::writeCommands(const void *commands, size_t size)
{
    binder_write_read bwr {};
    bwr.write_buffer = reinterpret_cast<binder_uintptr_t>(commands);
    bwr.write_size = size;
    int rc = driver::ioctl(m_fd, BINDER_WRITE_READ, &bwr);
    if (rc < 0)
        BINDER_WARN("%s: write failed: %s", m_device.c_str(), strerror(-rc));
    return rc;
}

void IpcPrivate::freeBuffer(uintptr_t buffer)
{
    // A thread in the middle of binder work writes it with its next
    // command, as a reply that follows at once.
    if (ThreadState *state = stateFor(this)) {
        appendCommand(state->out, BC_FREE_BUFFER, binder_uintptr_t(buffer));
        return;
    }
    // The owner thread's last reply goes with its next command or main
    // loop round; only one waits that way.
    if (isOwnerThread() && m_mainState && !m_stopping) {
        bool first = m_mainState->out.empty();
        appendCommand(m_mainState->out, BC_FREE_BUFFER, binder_uintptr_t(buffer));
        if (!first)
            flushOut(*m_mainState);
        return;
    }
    std::vector<uint8_t> out;
    appendCommand(out, BC_FREE_BUFFER, binder_uintptr_t(buffer));
    writeCommands(out.data(), out.size());
}

void IpcPrivate::signal(int fd)
{
    uint64_t one = 1;
    ssize_t n = write(fd, &one, sizeof one);
    (void)n;
}

// ---------------------------------------------------------------------------
// Objects

uint64_t IpcPrivate::registerLocalObject(const std::shared_ptr<LocalObject> &object)
{
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    uint64_t id = m_nextLocalId;
    m_nextLocalId += 0x10;
    m_locals[id].object = object;
    return id;
}

void IpcPrivate::unregisterLocalObject(uint64_t id)
{
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    auto it = m_locals.find(id);
    if (it != m_locals.end() && !it->second.pin)
        m_locals.erase(it);
}

std::shared_ptr<LocalObject> IpcPrivate::localObjectForId(uint64_t id)
{
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    if (id == 0)
        return m_contextManager.lock();
    auto it = m_locals.find(id);
    return it != m_locals.end() ? it->second.object.lock() : nullptr;
}

std::shared_ptr<RemoteObject> IpcPrivate::remoteObjectForHandle(uint32_t handle)
{
    std::shared_ptr<Ipc> ipc = m_self.lock();
    if (!ipc)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    std::vector<uint8_t> out;
    auto it = m_remotes.find(handle);
    if (it != m_remotes.end()) {
        if (std::shared_ptr<RemoteObject> object = it->second.object.lock()) {
            if (!object->isDead())
                return object;
        } else {
            // Its destructor is on the way; let go of its reference now
            // so that the new object's requests don't collide with it.
            binder_handle_cookie hc {handle, it->second.cookie};
            appendCommand(out, BC_CLEAR_DEATH_NOTIFICATION, hc);
            appendCommand(out, BC_RELEASE, handle);
        }
        m_cookies.erase(it->second.cookie);
        m_remotes.erase(it);
    }
    uint64_t cookie = m_nextCookie++;
    std::shared_ptr<RemoteObject> object = RemoteObject::create(ipc, handle, cookie);
    appendCommand(out, BC_ACQUIRE, handle);
    binder_handle_cookie hc {handle, cookie};
    appendCommand(out, BC_REQUEST_DEATH_NOTIFICATION, hc);
    if (writeCommands(out.data(), out.size()) < 0)
        return nullptr;
    m_remotes[handle] = RemoteEntry {object, cookie};
    m_cookies[cookie] = handle;
    return object;
}

void IpcPrivate::dropRemoteObject(uint32_t handle, uint64_t cookie)
{
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    auto it = m_remotes.find(handle);
    if (it == m_remotes.end() || it->second.cookie != cookie)
        return;   // already released (death, or replaced)
    std::vector<uint8_t> out;
    binder_handle_cookie hc {handle, cookie};
    appendCommand(out, BC_CLEAR_DEATH_NOTIFICATION, hc);
    appendCommand(out, BC_RELEASE, handle);
    m_cookies.erase(cookie);
    m_remotes.erase(it);
    if (!m_stopping)
        writeCommands(out.data(), out.size());
}

// Death of a remote object: release our reference at once (a dead
// service manager's handle 0 must go before a new one can be acquired)
// and run the handlers on the main context.
void IpcPrivate::kill(const std::shared_ptr<RemoteObject> &object, bool fromKernel)
{
    std::vector<uint8_t> out;
    {
        std::lock_guard<std::mutex> lock(m_objectsMutex);
        if (!object->markDead())
            return;
        auto it = m_remotes.find(object->handle());
        if (it != m_remotes.end() && it->second.cookie == object->cookie()) {
            binder_handle_cookie hc {object->handle(), object->cookie()};
            appendCommand(out, BC_CLEAR_DEATH_NOTIFICATION, hc);
            if (fromKernel)
                appendCommand(out, BC_DEAD_BINDER_DONE, binder_uintptr_t(object->cookie()));
            appendCommand(out, BC_RELEASE, object->handle());
            m_cookies.erase(object->cookie());
            m_remotes.erase(it);
        } else if (fromKernel) {
            appendCommand(out, BC_DEAD_BINDER_DONE, binder_uintptr_t(object->cookie()));
        }
        if (!out.empty())
            writeCommands(out.data(), out.size());
    }
    BINDER_DEBUG("%s: handle %u died", m_device.c_str(), object->handle());
    std::shared_ptr<RemoteObject> keep = object;
    postEvent([keep] { keep->runDeathHandlers(); });
}

void IpcPrivate::remoteObjectDied(uint32_t handle)
{
    std::shared_ptr<RemoteObject> object;
    {
        std::lock_guard<std::mutex> lock(m_objectsMutex);
        auto it = m_remotes.find(handle);
        if (it != m_remotes.end())
            object = it->second.object.lock();
    }
    if (object)
        kill(object, false);
}

void IpcPrivate::handleDeadBinder(uint64_t cookie)
{
    std::shared_ptr<RemoteObject> object;
    {
        std::lock_guard<std::mutex> lock(m_objectsMutex);
        auto it = m_cookies.find(cookie);
        if (it != m_cookies.end()) {
            auto remote = m_remotes.find(it->second);
            if (remote != m_remotes.end() && remote->second.cookie == cookie)
                object = remote->second.object.lock();
        }
    }
    if (object && !object->isDead()) {
        kill(object, true);
        return;
    }
    std::vector<uint8_t> out;
    {
        std::lock_guard<std::mutex> lock(m_objectsMutex);
        if (!object) {
            // Its owner is letting go of it right now; finish for it.
            auto it = m_cookies.find(cookie);
            if (it != m_cookies.end()) {
                uint32_t handle = it->second;
                binder_handle_cookie hc {handle, cookie};
                appendCommand(out, BC_CLEAR_DEATH_NOTIFICATION, hc);
                appendCommand(out, BC_DEAD_BINDER_DONE, binder_uintptr_t(cookie));
                appendCommand(out, BC_RELEASE, handle);
                m_remotes.erase(handle);
                m_cookies.erase(it);
            }
        }
        if (out.empty())
            appendCommand(out, BC_DEAD_BINDER_DONE, binder_uintptr_t(cookie));
        writeCommands(out.data(), out.size());
    }
}

Status IpcPrivate::setContextManager(const std::shared_ptr<LocalObject> &object)
{
    int32_t unused = 0;
    int rc = -EBUSY;
    // A previous manager's node goes away asynchronously after its death.
    for (int attempt = 0; attempt < 100; ++attempt) {
        rc = driver::ioctl(m_fd, BINDER_SET_CONTEXT_MGR, &unused);
        if (rc != -EBUSY)
            break;
        g_usleep(20000);
    }
    if (rc < 0) {
        BINDER_WARN("%s: cannot become context manager: %s", m_device.c_str(), strerror(-rc));
        return rc;
    }
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    m_contextManager = object;
    return kStatusOk;
}

size_t IpcPrivate::localObjectCount()
{
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    return m_locals.size();
}

size_t IpcPrivate::remoteObjectCount()
{
    std::lock_guard<std::mutex> lock(m_objectsMutex);
    return m_remotes.size();
}

size_t IpcPrivate::looperCount()
{
    std::lock_guard<std::mutex> lock(m_looperMutex);
    return size_t(m_liveLoopers);
}

// ---------------------------------------------------------------------------
// Reading from the driver

void IpcPrivate::handleRefCommand(ThreadState &context, uint32_t command, uint64_t ptr, uint64_t cookie)
{
    binder_ptr_cookie pc {ptr, cookie};
    if (command == BR_INCREFS || command == BR_ACQUIRE) {
        if (ptr) {
            std::lock_guard<std::mutex> lock(m_objectsMutex);
            auto it = m_locals.find(ptr);
            if (it != m_locals.end()) {
                LocalEntry &entry = it->second;
                (command == BR_ACQUIRE ? entry.strong : entry.weak)++;
                if (!entry.pin)
                    entry.pin = entry.object.lock();
            } else {
                BINDER_WARN("%s: reference to unknown object %#llx", m_device.c_str(), (unsigned long long)ptr);
            }
        }
        // The object is held now; tell the kernel.
        appendCommand(context.out, command == BR_ACQUIRE ? uint32_t(BC_ACQUIRE_DONE) : uint32_t(BC_INCREFS_DONE), pc);
    } else {
        context.deferredRefs.emplace_back(command, ptr);
    }
}

void IpcPrivate::applyDeferredRefs(std::vector<std::pair<uint32_t, uint64_t>> &deferred)
{
    std::vector<std::shared_ptr<LocalObject>> released;
    {
        std::lock_guard<std::mutex> lock(m_objectsMutex);
        for (auto &[command, ptr] : deferred) {
            auto it = m_locals.find(ptr);
            if (it == m_locals.end())
                continue;
            LocalEntry &entry = it->second;
            int &count = command == BR_RELEASE ? entry.strong : entry.weak;
            if (count > 0)
                --count;
            if (!entry.strong && !entry.weak && entry.pin) {
                released.push_back(std::move(entry.pin));
                entry.pin.reset();
                if (entry.object.expired() || released.back().use_count() == 1) {
                    // Destroyed below or on the main context; its destructor unregisters.
                }
            }
        }
    }
    deferred.clear();
    for (auto &object : released) {
        // Let the object go on the main context, where its handler lives.
        std::shared_ptr<LocalObject> keep = std::move(object);
        if (m_stopping)
            continue;
        postEvent([keep]() mutable { keep.reset(); });
    }
}

void IpcPrivate::handleReply(Send &send, const binder_transaction_data &tr)
{
    send.completed = send.finished = true;
    std::shared_ptr<Ipc> ipc = m_self.lock();
    if (!ipc) {
        freeBuffer(tr.data.ptr.buffer);
        send.status = -ESHUTDOWN;
        return;
    }
    auto parcel = ParcelData::received(ipc, tr.data.ptr.buffer, tr.data_size, tr.data.ptr.offsets,
                                       tr.offsets_size, true);
    if (tr.flags & TF_STATUS_CODE) {
        int32_t wire = -EBADMSG;
        if (parcel->size() >= sizeof wire)
            memcpy(&wire, parcel->data(), sizeof wire);
        send.status = wireStatusToStatus(wire);
        send.fromPeer = true;
        if (send.status == kStatusOk)
            send.reply = ParcelData::fromBytes(nullptr, 0);
        return;
    }
    send.status = kStatusOk;
    send.reply = std::move(parcel);
}

void IpcPrivate::handleTransaction(ThreadState &state, const binder_transaction_data &tr)
{
    std::shared_ptr<Ipc> ipc = m_self.lock();
    if (!ipc) {
        freeBuffer(tr.data.ptr.buffer);
        return;
    }
    auto parcel = ParcelData::received(ipc, tr.data.ptr.buffer, tr.data_size, tr.data.ptr.offsets,
                                       tr.offsets_size, true);
    std::string interface;
    size_t headerSize = 0;
    Reader header(parcel);
    if (RpcProtocol::forProtocol(m_protocol).readHeader(header, &interface))
        headerSize = header.position();
    else
        interface.clear();

    auto transaction = std::make_shared<IncomingTransaction>();
    transaction->ipc = ipc;
    transaction->object = localObjectForId(tr.target.ptr);
    transaction->request.reset(new RemoteRequest(parcel, tr.code, tr.flags, tr.sender_pid, tr.sender_euid,
                                                 interface, headerSize));
    bool oneway = tr.flags & TF_ONE_WAY;
    if (!oneway)
        transaction->reply = std::make_unique<LocalReply>();
    BINDER_VERBOSE("%s: %s transaction %#x for %#llx from pid %d", m_device.c_str(), oneway ? "one-way" : "two-way",
                   tr.code, (unsigned long long)tr.target.ptr, tr.sender_pid);

    // The owner's main loop read it outside any call of its own: served
    // right here, and a handler may block it.
    bool mainBase = &state == m_mainState.get() && state.sends.empty() && m_mainDepth == 0;
    if (oneway) {
        if (mainBase) {
            ++m_mainDepth;
            runTransaction(transaction);
            --m_mainDepth;
            state.onewayServed = true;
            return;
        }
        // Nobody waits: the handler runs on the main context in arrival order.
        postEvent([this, transaction] { runTransaction(transaction); });
        return;
    }
    if (mainBase) {
        transaction->servedByMain = true;
        ++m_mainDepth;
        runTransaction(transaction);
        --m_mainDepth;
        std::lock_guard<std::mutex> lock(m_looperMutex);
        if (!transaction->done) {
            // Answered from the main loop once completed; loopers serve
            // until then, since the driver gives this thread nothing else.
            m_mainHeld = transaction;
            releaseMainLocked();
            return;
        }
    } else if (!state.looper && isOwnerThread()) {
        // A call back into the owner thread while it waits for its own
        // reply: served right here, and calls its handler makes go out
        // from here, where the driver expects them.
        transaction->servedInline = true;
        IncomingTransaction *outer = t_relayed;
        t_relayed = nullptr;
        runTransaction(transaction);
        t_relayed = outer;
    } else {
        relayAndWait(state, transaction);
    }
    sendReply(state, transaction);
}

// Another thread than the owner received a two-way transaction (a looper,
// or a worker thread called back during its own call): the handler runs
// on the main context as documented, while this thread holds the
// transaction and makes the calls the handler asks for.
void IpcPrivate::relayAndWait(ThreadState &state, const std::shared_ptr<IncomingTransaction> &transaction)
{
    transaction->relayed = true;
    std::unique_lock<std::mutex> lock(m_looperMutex);
    if (state.looper && m_idleLoopers == 0 && m_liveLoopers < kMaxLoopers && !m_stopping)
        spawnLooperLocked();   // keep one free for others while this one waits
    lock.unlock();
    postTransaction(transaction);
    lock.lock();
    for (;;) {
        m_looperCondition.wait(lock, [&] {
            return (transaction->done && !transaction->handlerRunning) || !transaction->calls.empty() || m_stopping;
        });
        if (!transaction->calls.empty()) {
            std::function<void(bool)> call = std::move(transaction->calls.front());
            transaction->calls.pop_front();
            lock.unlock();
            call(!m_stopping);
            lock.lock();
            continue;
        }
        if (transaction->done && !transaction->handlerRunning)
            break;
        if (m_stopping) {
            transaction->status = kStatusFailed;
            break;
        }
    }
}

void IpcPrivate::sendReply(ThreadState &state, const std::shared_ptr<IncomingTransaction> &transaction)
{
    Status status = transaction->status;
    const Writer *reply = status == kStatusOk ? &transaction->reply->writer() : nullptr;
    // The request's buffer goes back before the reply goes out.
    transaction->request.reset();
    binder_transaction_data_sg sg {};
    binder_transaction_data &tr = sg.transaction_data;
    int32_t wire = statusToWire(status);
    if (reply) {
        tr.data_size = reply->data().size();
        tr.data.ptr.buffer = reinterpret_cast<binder_uintptr_t>(reply->data().data());
        tr.offsets_size = reply->objectOffsets().size() * sizeof(binder_size_t);
        tr.data.ptr.offsets = reinterpret_cast<binder_uintptr_t>(reply->objectOffsets().data());
        sg.buffers_size = reply->buffersSize();
    } else {
        tr.flags = TF_STATUS_CODE;
        tr.data_size = sizeof wire;
        tr.data.ptr.buffer = reinterpret_cast<binder_uintptr_t>(&wire);
    }
    std::vector<uint8_t> out;
    if (sg.buffers_size)
        appendCommand(out, BC_REPLY_SG, sg);
    else
        appendCommand(out, BC_REPLY, tr);
    Send send;
    send.keep = transaction;
    Status rc = run(state, send, out.data(), out.size());
    if (rc < 0 && rc != -ESHUTDOWN)
        BINDER_WARN("%s: reply failed: %s", m_device.c_str(), strerror(-rc));
}

// Reads more commands into |state|; false on a driver error. A thread
// that is not a looper polls first when it must stay responsive.
bool IpcPrivate::readMore(ThreadState &state, bool block)
{
    binder_write_read bwr {};
    if (!state.out.empty()) {
        bwr.write_buffer = reinterpret_cast<binder_uintptr_t>(state.out.data());
        bwr.write_size = state.out.size();
    }
    if (block) {
        bwr.read_buffer = reinterpret_cast<binder_uintptr_t>(state.in);
        bwr.read_size = sizeof state.in;
    }
    int rc = driver::ioctl(m_fd, BINDER_WRITE_READ, &bwr);
    state.out.clear();
    state.inPos = 0;
    state.inSize = rc < 0 ? 0 : size_t(bwr.read_consumed);
    if (rc < 0)
        BINDER_WARN("%s: read failed: %s", m_device.c_str(), strerror(-rc));
    return rc >= 0;
}

void IpcPrivate::flushOut(ThreadState &state)
{
    if (!state.out.empty()) {
        writeCommands(state.out.data(), state.out.size());
        state.out.clear();
    }
}

void IpcPrivate::finishBatch(ThreadState &state)
{
    if (!state.deferredRefs.empty())
        applyDeferredRefs(state.deferredRefs);
}

// Writes |command| (if any) and handles what the driver returns until
// |send| is finished. Returns its status.
Status IpcPrivate::run(ThreadState &state, Send &send, const void *command, size_t size)
{
    state.sends.push_back(&send);
    bool owner = !state.looper && isOwnerThread();
    Status result = kStatusOk;
    // The owner thread must keep serving relayed transactions while it
    // waits for a reply. While its main loop is the device's reader it
    // polls, to hand reading over to the loopers if the wait is long;
    // otherwise it reads, and a looper that relays a transaction wakes it.
    // The completion of a one-way call or a reply is there at once.
    bool pollFirst = false;
    bool guarded = false;
    if (owner && send.twoWay) {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        pollFirst = m_mainServes;
        guarded = !pollFirst;
    }
    if (command) {
        // Acknowledgements and freed buffers go first, in the same write.
        std::vector<uint8_t> combined;
        if (!state.out.empty()) {
            combined.swap(state.out);
            const uint8_t *bytes = static_cast<const uint8_t *>(command);
            combined.insert(combined.end(), bytes, bytes + size);
            command = combined.data();
            size = combined.size();
        }
        binder_write_read bwr {};
        bwr.write_buffer = reinterpret_cast<binder_uintptr_t>(command);
        bwr.write_size = size;
        bool readNow = state.inPos >= state.inSize && !pollFirst && (!guarded || enterOwnerRead());
        if (readNow) {
            bwr.read_buffer = reinterpret_cast<binder_uintptr_t>(state.in);
            bwr.read_size = sizeof state.in;
        }
        int rc = driver::ioctl(m_fd, BINDER_WRITE_READ, &bwr);
        if (readNow && guarded)
            leaveOwnerRead();
        if (rc < 0) {
            result = rc;
            send.finished = true;
        } else if (readNow) {
            state.inPos = 0;
            state.inSize = bwr.read_consumed;
        }
    }
    while (!send.finished) {
        if (state.inPos < state.inSize) {
            processOne(state);
            continue;
        }
        finishBatch(state);
        if (send.finished)
            break;
        if (m_stopping) {
            result = -ESHUTDOWN;
            break;
        }
        if (pollFirst) {
            flushOut(state);
            int timeout = -1;
            if (&state == m_mainState.get()) {
                std::lock_guard<std::mutex> lock(m_looperMutex);
                if (m_mainServes)
                    timeout = kMainCallGraceMs;
            }
            struct pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_txEventFd, POLLIN, 0}};
            int ready = driver::poll(fds, 2, timeout);
            if (ready < 0) {
                result = -errno;
                break;
            }
            if (ready == 0) {
                // Others may be calling this process meanwhile.
                std::lock_guard<std::mutex> lock(m_looperMutex);
                releaseMainLocked();
                continue;
            }
            if (fds[1].revents & POLLIN)
                dispatchTransactions();
            if (!(fds[0].revents & (POLLIN | POLLERR | POLLHUP)))
                continue;
        } else if (guarded && !enterOwnerRead()) {
            dispatchTransactions();
            continue;
        }
        bool ok = readMore(state, true);
        if (guarded)
            leaveOwnerRead();
        if (!ok) {
            result = -EIO;
            break;
        }
    }
    state.sends.erase(std::find(state.sends.begin(), state.sends.end(), &send));
    if (result == kStatusOk)
        result = send.status;
    return result;
}

void IpcPrivate::processOne(ThreadState &state)
{
    const uint8_t *buffer = state.in;
    size_t size = state.inSize;
    size_t &pos = state.inPos;
    if (size - pos < sizeof(uint32_t)) {
        BINDER_WARN("%s: truncated command", m_device.c_str());
        pos = size;
        return;
    }
    uint32_t command;
    memcpy(&command, buffer + pos, sizeof command);
    size_t payload = _IOC_SIZE(command);
    if (size - pos - sizeof command < payload) {
        BINDER_WARN("%s: truncated command %#x", m_device.c_str(), command);
        pos = size;
        return;
    }
    uint8_t p[sizeof(binder_transaction_data_secctx)];
    memcpy(p, buffer + pos + sizeof command, std::min(payload, sizeof p));
    pos += sizeof command + payload;

    // The oldest command this thread wrote that the driver has not
    // acknowledged yet, and the innermost call waiting for its answer.
    Send *unacknowledged = nullptr;
    Send *waiting = nullptr;
    for (Send *send : state.sends) {
        if (!send->completed && !unacknowledged)
            unacknowledged = send;
    }
    for (auto it = state.sends.rbegin(); it != state.sends.rend(); ++it) {
        if ((*it)->twoWay && !(*it)->finished) {
            waiting = *it;
            break;
        }
    }
    switch (command) {
    case BR_NOOP:
    case BR_OK:
    case BR_SPAWN_LOOPER:
    case BR_FINISHED:
    case BR_CLEAR_DEATH_NOTIFICATION_DONE:
        break;
    case BR_ERROR: {
        int32_t error;
        memcpy(&error, p, sizeof error);
        BINDER_WARN("%s: driver error %d", m_device.c_str(), error);
        break;
    }
    case BR_TRANSACTION_COMPLETE:
    case BR_ONEWAY_SPAM_SUSPECT:      // delivered, and we are told we send too much
    case BR_TRANSACTION_PENDING_FROZEN:   // delivered to a frozen process's queue
        if (!unacknowledged) {
            BINDER_WARN("%s: completion of nothing", m_device.c_str());
            break;
        }
        unacknowledged->completed = true;
        if (!unacknowledged->twoWay) {
            unacknowledged->finished = true;
            unacknowledged->keep.reset();
        }
        break;
    case BR_TRANSACTION:
    case BR_TRANSACTION_SEC_CTX: {
        binder_transaction_data tr;
        memcpy(&tr, p, sizeof tr);   // the security context follows; unused
        // Acknowledge what came before it first.
        flushOut(state);
        handleTransaction(state, tr);
        break;
    }
    case BR_REPLY: {
        binder_transaction_data tr;
        memcpy(&tr, p, sizeof tr);
        if (waiting) {
            handleReply(*waiting, tr);
        } else {
            BINDER_WARN("%s: unexpected reply", m_device.c_str());
            freeBuffer(tr.data.ptr.buffer);
        }
        break;
    }
    case BR_DEAD_REPLY:
    case BR_FAILED_REPLY:
    case BR_FROZEN_REPLY: {
        // In place of a completion when the command itself failed,
        // otherwise the answer to the innermost call.
        Send *target = unacknowledged ? unacknowledged : waiting;
        if (!target) {
            BINDER_WARN("%s: unexpected error reply %#x", m_device.c_str(), command);
            break;
        }
        target->completed = target->finished = true;
        target->keep.reset();
        target->fromPeer = false;
        target->deadReply = command == BR_DEAD_REPLY;
        target->status = command == BR_DEAD_REPLY ? kStatusDeadObject : command == BR_FROZEN_REPLY ? -EAGAIN : -EIO;
        break;
    }
    case BR_INCREFS:
    case BR_ACQUIRE:
    case BR_RELEASE:
    case BR_DECREFS: {
        binder_ptr_cookie pc;
        memcpy(&pc, p, sizeof pc);
        handleRefCommand(state, command, pc.ptr, pc.cookie);
        break;
    }
    case BR_DEAD_BINDER: {
        binder_uintptr_t cookie;
        memcpy(&cookie, p, sizeof cookie);
        handleDeadBinder(cookie);
        break;
    }
    default:
        // Its size is in the code: skipped, the rest of the batch is fine.
        BINDER_WARN("%s: unknown command %#x", m_device.c_str(), command);
        break;
    }
}

// ---------------------------------------------------------------------------
// Loopers

void IpcPrivate::spawnLooperLocked()
{
    ++m_liveLoopers;
    ++m_idleLoopers;   // counted idle until it reads
    std::shared_ptr<IpcPrivate> self = shared_from_this();
    try {
        m_loopers.emplace_back([self] { self->looperMain(); });
    } catch (const std::system_error &error) {
        --m_liveLoopers;
        --m_idleLoopers;
        BINDER_ERR("%s: cannot start a looper thread: %s", m_device.c_str(), error.what());
    }
}

// Asynchronous calls wait on a few worker threads; more calls queue.
bool IpcPrivate::startAsync(std::function<void()> job)
{
    std::lock_guard<std::mutex> lock(m_looperMutex);
    if (m_stopping)
        return false;
    m_asyncJobs.push_back(std::move(job));
    if (m_idleWorkers < int(m_asyncJobs.size()) && m_liveWorkers < kMaxAsyncWorkers) {
        std::shared_ptr<IpcPrivate> self = shared_from_this();
        try {
            m_loopers.emplace_back([self] { self->workerMain(); });
            ++m_liveWorkers;
            ++m_idleWorkers;
        } catch (const std::system_error &error) {
            BINDER_WARN("%s: cannot start a worker thread: %s", m_device.c_str(), error.what());
            if (m_liveWorkers == 0) {
                m_asyncJobs.pop_back();
                return false;
            }
        }
    }
    m_asyncCondition.notify_one();
    return true;
}

void IpcPrivate::workerMain()
{
    std::unique_lock<std::mutex> lock(m_looperMutex);
    for (;;) {
        m_asyncCondition.wait(lock, [this] { return !m_asyncJobs.empty() || m_stopping; });
        if (m_stopping)
            break;
        std::function<void()> job = std::move(m_asyncJobs.front());
        m_asyncJobs.pop_front();
        --m_idleWorkers;
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
        ++m_idleWorkers;
    }
    --m_idleWorkers;
    --m_liveWorkers;
    m_looperCondition.notify_all();
}

size_t IpcPrivate::workerCount()
{
    std::lock_guard<std::mutex> lock(m_looperMutex);
    return size_t(m_liveWorkers);
}

void IpcPrivate::looperMain()
{
    ThreadState state(this);
    state.looper = true;
    StateScope scope(&state);
    uint32_t enter = BC_ENTER_LOOPER;
    state.out.assign(reinterpret_cast<uint8_t *>(&enter), reinterpret_cast<uint8_t *>(&enter) + sizeof enter);
    bool idle = true;
    int failures = 0;
    while (!m_stopping) {
        if (state.inPos < state.inSize) {
            processOne(state);
            continue;
        }
        finishBatch(state);
        {
            std::unique_lock<std::mutex> lock(m_looperMutex);
            if (!idle) {
                ++m_idleLoopers;
                idle = true;
            }
            if (m_mainServes && !m_stopping) {
                // The main loop reads now: nothing may wait to be written
                // while this thread sleeps.
                lock.unlock();
                flushOut(state);
                lock.lock();
                m_looperCondition.wait(lock, [this] { return !m_mainServes || m_stopping; });
            }
            if (m_stopping)
                break;
            ++m_readingLoopers;
        }
        bool ok = readMore(state, true);
        bool wakeMain;
        {
            std::lock_guard<std::mutex> lock(m_looperMutex);
            --m_idleLoopers;
            idle = false;
            wakeMain = --m_readingLoopers == 0 && m_mainServes;
        }
        if (wakeMain)
            g_main_context_wakeup(m_context);
        if (m_stopping)
            break;
        if (ok) {
            failures = 0;
            continue;
        }
        // A driver that keeps failing: back off, and give up after a while
        // rather than logging for ever.
        if (++failures >= kLooperFailureLimit) {
            BINDER_ERR("%s: looper stops after %d failed reads", m_device.c_str(), failures);
            break;
        }
        std::unique_lock<std::mutex> lock(m_looperMutex);
        m_looperCondition.wait_for(lock, std::chrono::milliseconds(50 << std::min(failures, 6)),
                                   [&] { return bool(m_stopping); });
    }
    uint32_t exit = BC_EXIT_LOOPER;
    writeCommands(&exit, sizeof exit);
    std::lock_guard<std::mutex> lock(m_looperMutex);
    if (idle)
        --m_idleLoopers;
    --m_liveLoopers;
    m_looperCondition.notify_all();
}

// ---------------------------------------------------------------------------
// Main context work

void IpcPrivate::postEvent(std::function<void()> event)
{
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_events.push_back(std::move(event));
    }
    signal(m_eventFd);
}

void IpcPrivate::postTransaction(const std::shared_ptr<IncomingTransaction> &transaction)
{
    bool ownerReading;
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_transactions.push_back(transaction);
        ownerReading = m_ownerReading;
    }
    signal(m_txEventFd);
    // The owner waits for a reply in a read, not in its main loop.
    if (ownerReading)
        driver::wakeAll(m_fd);
}

bool IpcPrivate::enterOwnerRead()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    if (!m_transactions.empty())
        return false;
    m_ownerReading = true;
    return true;
}

void IpcPrivate::leaveOwnerRead()
{
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_ownerReading = false;
}

void IpcPrivate::runTransaction(const std::shared_ptr<IncomingTransaction> &transaction)
{
    IncomingTransaction *outer = t_relayed;
    if (transaction->relayed) {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        transaction->handlerRunning = true;
        t_relayed = transaction.get();
    }
    transaction->request->setTransaction(transaction.get());
    Status status;
    if (!transaction->object || transaction->object->isDropped())
        status = kStatusDeadObject;
    else
        status = transaction->object->handle(*transaction->request, transaction->reply.get());
    transaction->request->setTransaction(nullptr);
    t_relayed = outer;
    bool blocked;
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        transaction->handlerRunning = false;
        blocked = transaction->blocked;
    }
    if (!blocked)
        transaction->finish(status);
    else if (transaction->relayed)
        m_looperCondition.notify_all();   // it may have been completed already
}

void IncomingTransaction::finish(Status result)
{
    if (!reply) {
        // One-way: nothing to send. The request buffer goes back when the
        // transaction (and any BlockedRequest over it) is gone.
        done = true;
        return;
    }
    if (servedByMain) {
        ipcPrivate(*ipc).mainRequestFinished(*this, result);
        return;
    }
    if (!relayed) {
        status = result;
        done = true;
        return;
    }
    ipcPrivate(*ipc).transactionFinished(*this, result);
}

void IpcPrivate::transactionFinished(IncomingTransaction &transaction, Status status)
{
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        if (transaction.done)
            return;
        transaction.status = status;
        transaction.done = true;
    }
    m_looperCondition.notify_all();
}

void IpcPrivate::mainRequestFinished(IncomingTransaction &transaction, Status status)
{
    bool held;
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        if (transaction.done)
            return;
        transaction.status = status;
        transaction.done = true;
        held = m_mainHeld.get() == &transaction;
    }
    if (!held)
        return;
    // Completed on the owner thread outside binder work: answered now,
    // since a program may stop its loop right after. Otherwise the main
    // loop answers on its next round.
    if (isOwnerThread() && mainAtBase()) {
        StateScope scope(m_mainState.get());
        sendHeldReply();
        return;
    }
    g_main_context_wakeup(m_context);
}

// ---------------------------------------------------------------------------
// The owner's main loop as the device's reader.
//
// The driver hands the process's work to a thread waiting in a read before
// it wakes a thread that polls, and a thread that reads when another one
// took the work blocks. So either the loopers read or the main loop does,
// never both: while the main loop serves, loopers park, and it polls the
// device only once none of them is still in a read. Loopers serve instead
// while the owner thread cannot: while it holds a request a handler
// blocked (only that thread can answer it), while it waits long in a
// synchronous call of its own, and while it runs nested loops in a
// handler. An owner that never runs its main loop leaves all of it to the
// loopers.

bool IpcPrivate::mainAtBase() const
{
    return m_mainState->sends.empty() && m_mainDepth == 0 && !stateFor(this);
}

// Still the reader, between two batches of its own.
bool IpcPrivate::mainAtBaseServing()
{
    std::lock_guard<std::mutex> lock(m_looperMutex);
    return m_mainServes && !m_mainHeld && !m_stopping && m_mainState->sends.empty() && m_mainDepth == 0;
}

void IpcPrivate::releaseMainLocked()
{
    if (!m_mainServes)
        return;
    BINDER_DEBUG("%s: loopers serve", m_device.c_str());
    m_mainServes = false;
    m_looperCondition.notify_all();
}

bool IpcPrivate::mainPrepare()
{
    // Only what this round's poll sees counts.
    m_mainPoll->events = 0;
    m_mainPoll->revents = 0;
    if (!isOwnerThread())
        return false;
    bool base = mainAtBase();
    if (base && !m_mainEntered) {
        // Only a looper thread is given the process's work, and its poll
        // reports it.
        uint32_t enter = BC_ENTER_LOOPER;
        if (writeCommands(&enter, sizeof enter) < 0)
            return false;
        m_mainEntered = true;
    }
    bool kick = false;
    bool ready;
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        if (m_stopping)
            return false;
        if (m_mainHeld)
            return base && m_mainHeld->done;
        if (!base) {
            releaseMainLocked();
            return false;
        }
        if (!m_mainServes) {
            BINDER_DEBUG("%s: the main loop serves", m_device.c_str());
            m_mainServes = true;
            kick = m_readingLoopers > 0;
        }
        if (m_readingLoopers == 0)
            m_mainPoll->events = G_IO_IN;
        ready = !m_mainState->out.empty();
    }
    // Loopers waiting in a read leave it and park; the last one out wakes
    // this loop to poll.
    if (kick)
        driver::wakeAll(m_fd);
    return ready;
}

bool IpcPrivate::mainCheck()
{
    if (!isOwnerThread())
        return false;
    m_mainIoctlsAtPoll = driver::threadIoctls();
    if (m_mainPoll->revents & (G_IO_IN | G_IO_ERR | G_IO_HUP))
        return true;
    std::lock_guard<std::mutex> lock(m_looperMutex);
    return (m_mainHeld && m_mainHeld->done) || !m_mainState->out.empty();
}

void IpcPrivate::mainDispatch()
{
    bool readable = m_mainPoll->revents & (G_IO_IN | G_IO_ERR | G_IO_HUP);
    m_mainPoll->revents = 0;
    if (!isOwnerThread() || !mainAtBase())
        return;
    ThreadState &state = *m_mainState;
    StateScope scope(&state);
    sendHeldReply();
    bool read;
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        read = readable && m_mainServes && !m_mainHeld && m_readingLoopers == 0 && !m_stopping;
    }
    if (read) {
        // One-way calls come in bursts: read on while more are there,
        // rather than going round the main loop for each.
        // What the poll saw may be gone by now: this thread may have read
        // it in a call since, and any command it wrote ends the driver's
        // wake-up of all readers. A read with nothing to read would block
        // this loop.
        if (driver::threadIoctls() != m_mainIoctlsAtPoll) {
            struct pollfd fd = {m_fd, POLLIN, 0};
            if (driver::poll(&fd, 1, 0) <= 0)
                read = false;
        }
        for (int round = 0; read && round < kMainReadRounds; ++round) {
            state.onewayServed = false;
            if (!readMore(state, true))
                break;
            while (state.inPos < state.inSize)
                processOne(state);
            finishBatch(state);
            if (!state.onewayServed || !mainAtBaseServing())
                break;
            // The next one-way call to an object comes once the last
            // one's buffer is back.
            flushOut(state);
            struct pollfd fd = {m_fd, POLLIN, 0};
            if (driver::poll(&fd, 1, 0) <= 0)
                break;
        }
    }
    flushOut(state);
}

void IpcPrivate::sendHeldReply()
{
    std::shared_ptr<IncomingTransaction> held;
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        if (!m_mainHeld || !m_mainHeld->done)
            return;
        held = std::move(m_mainHeld);
    }
    sendReply(*m_mainState, held);
}

void IpcPrivate::dispatchTransactions()
{
    uint64_t value;
    while (read(m_txEventFd, &value, sizeof value) > 0) {
    }
    for (;;) {
        std::shared_ptr<IncomingTransaction> transaction;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_transactions.empty())
                break;
            transaction = std::move(m_transactions.front());
            m_transactions.pop_front();
        }
        runTransaction(transaction);
    }
}

void IpcPrivate::dispatchEvents()
{
    uint64_t value;
    while (read(m_eventFd, &value, sizeof value) > 0) {
    }
    for (;;) {
        std::function<void()> event;
        {
            std::lock_guard<std::mutex> lock(m_queueMutex);
            if (m_events.empty())
                break;
            event = std::move(m_events.front());
            m_events.pop_front();
        }
        event();
    }
}

// ---------------------------------------------------------------------------
// Outgoing transactions

Status IpcPrivate::transact(uint32_t handle, uint32_t code, uint32_t flags, const Writer &request,
                            std::unique_ptr<RemoteReply> *reply, bool *fromPeer)
{
    if (fromPeer)
        *fromPeer = false;
    if (m_stopping)
        return -ESHUTDOWN;
    if (!request.isValid())
        return -EBADF;
    // A handler of a relayed transaction: its calls go out from the thread
    // that holds the transaction, so that the driver routes calls back to
    // it and a peer with a single binder thread is not deadlocked.
    if (t_relayed && t_relayed->ipc && &ipcPrivate(*t_relayed->ipc) == this)
        return transactVia(*t_relayed, handle, code, flags, request, reply, fromPeer);
    if (ThreadState *state = stateFor(this))
        return transactHere(*state, handle, code, flags, request, reply, fromPeer);
    std::unique_ptr<ThreadState> own;
    ThreadState *chosen = m_mainState.get();
    if (!isOwnerThread() || !chosen) {
        own = std::make_unique<ThreadState>(this);
        chosen = own.get();
    }
    ThreadState &state = *chosen;
    StateScope scope(&state);
    Status status = transactHere(state, handle, code, flags, request, reply, fromPeer);
    // Whatever else that read brought (deaths, references) is handled now.
    while (state.inPos < state.inSize)
        processOne(state);
    finishBatch(state);
    flushOut(state);
    return status;
}

Status IpcPrivate::transactVia(IncomingTransaction &receiver, uint32_t handle, uint32_t code, uint32_t flags,
                               const Writer &request, std::unique_ptr<RemoteReply> *reply, bool *fromPeer)
{
    int done = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (done < 0)
        return -errno;
    Status status = -ESHUTDOWN;
    bool peer = false;
    std::unique_ptr<RemoteReply> received;
    {
        std::lock_guard<std::mutex> lock(m_looperMutex);
        receiver.calls.push_back([&, done](bool run) {
            if (run) {
                ThreadState *state = stateFor(this);
                status = state ? transactHere(*state, handle, code, flags, request, &received, &peer) : -EIO;
            }
            signal(done);
        });
    }
    m_looperCondition.notify_all();
    bool owner = isOwnerThread();
    for (;;) {
        struct pollfd fds[2] = {{done, POLLIN, 0}, {m_txEventFd, POLLIN, 0}};
        if (driver::poll(fds, owner ? 2 : 1, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            break;
        if (owner && (fds[1].revents & POLLIN))
            dispatchTransactions();
    }
    close(done);
    if (reply)
        *reply = std::move(received);
    if (fromPeer)
        *fromPeer = peer;
    return status;
}

Status IpcPrivate::transactHere(ThreadState &state, uint32_t handle, uint32_t code, uint32_t flags,
                                const Writer &request, std::unique_ptr<RemoteReply> *reply, bool *fromPeer)
{
    bool oneway = flags & TF_ONE_WAY;
    binder_transaction_data_sg sg {};
    binder_transaction_data &tr = sg.transaction_data;
    tr.target.handle = handle;
    tr.code = code;
    tr.flags = oneway ? uint32_t(TF_ONE_WAY) : (flags | TF_ACCEPT_FDS);
    tr.data_size = request.data().size();
    tr.data.ptr.buffer = reinterpret_cast<binder_uintptr_t>(request.data().data());
    tr.offsets_size = request.objectOffsets().size() * sizeof(binder_size_t);
    tr.data.ptr.offsets = reinterpret_cast<binder_uintptr_t>(request.objectOffsets().data());
    sg.buffers_size = request.buffersSize();
    std::vector<uint8_t> out;
    if (sg.buffers_size)
        appendCommand(out, BC_TRANSACTION_SG, sg);
    else
        appendCommand(out, BC_TRANSACTION, tr);

    Send send;
    send.twoWay = !oneway;
    Status status = run(state, send, out.data(), out.size());
    if (status < 0 && !send.fromPeer)
        BINDER_DEBUG("%s: transaction %#x to handle %u: %s", m_device.c_str(), code, handle, strerror(-status));
    if (send.deadReply)
        remoteObjectDied(handle);
    if (fromPeer)
        *fromPeer = send.fromPeer;
    if (status == kStatusOk && reply) {
        if (send.reply)
            reply->reset(new RemoteReply(std::move(send.reply)));
        else
            reply->reset();
    }
    return status;
}

} // namespace ferry::binder
