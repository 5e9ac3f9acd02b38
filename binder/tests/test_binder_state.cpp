// The library's handling of what the driver returns, against a fake
// driver: how batches are split, what a reply or an error belongs to, which
// thread sends what, and reference and death commands.

#include <ferry/binder/blocked_request.h>
#include <ferry/binder/ipc.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/pending_call.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/writer.h>

#include "fake_driver.h"
#include "ipc_p.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <map>
#include <mutex>
#include <set>

using namespace ferry::binder;
using namespace ferry::binder::test;

namespace {

#ifndef BR_TRANSACTION_PENDING_FROZEN
#define BR_TRANSACTION_PENDING_FROZEN _IO('r', 20)
#endif

constexpr uint32_t kOuterCode = 100;

class BinderState : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = std::make_unique<FakeDriver>();
        ipc = Ipc::get("/fake/binder", Protocol::Aidl28);
        ASSERT_TRUE(ipc);
    }
    void TearDown() override
    {
        ipc.reset();
        fake.reset();
    }

    // Answers every write the way the kernel does, the owner's two-way
    // calls by the batches given.
    void answerCallsWith(std::vector<Batch> batches)
    {
        std::thread::id owner = fake->owner();
        fake->setScript([this, owner, batches](const Written &w) {
            binder_transaction_data tr;
            if (w.command != BC_TRANSACTION && w.command != BC_REPLY)
                return;
            memcpy(&tr, w.payload.data(), sizeof tr);
            if (w.command == BC_TRANSACTION && w.thread == owner && tr.code == kOuterCode) {
                for (const Batch &b : batches)
                    fake->queue(owner, b);
            } else {
                fake->queue(w.thread, Batch().add(BR_TRANSACTION_COMPLETE));
            }
        });
    }

    Batch replyWith(const std::vector<uint8_t> &data, uint32_t flags = 0)
    {
        binder_transaction_data tr = fake->place(data);
        tr.flags = flags;
        return Batch().add(BR_REPLY, tr);
    }

    Status call(uint32_t flags, std::vector<uint8_t> *replyBytes = nullptr, StatusSource *source = nullptr)
    {
        Writer request;
        request.appendInt32(1);
        std::unique_ptr<RemoteReply> reply;
        Status status = flags & kFlagOneway ? ipc->transactOneway(7, kOuterCode, request)
                                            : ipc->transactSync(7, kOuterCode, request, &reply, source);
        if (reply && replyBytes) {
            Reader r = reply->reader();
            replyBytes->assign(r.data(), r.data() + r.size());
        }
        return status;
    }

    Batch transactionFor(const std::shared_ptr<LocalObject> &object, uint32_t code, uint32_t flags = 0)
    {
        Writer w;
        writeRequestHeader(w, Protocol::Aidl28, object->interfaces().front());
        w.appendInt32(int32_t(code));
        binder_transaction_data tr = fake->place(w.data());
        tr.target.ptr = object->id();
        tr.cookie = object->id();
        tr.code = code;
        tr.flags = flags;
        return Batch().add(BR_TRANSACTION, tr);
    }

    size_t count(uint32_t command, std::thread::id *thread = nullptr)
    {
        size_t n = 0;
        for (const Written &w : fake->written()) {
            if (w.command == command) {
                ++n;
                if (thread)
                    *thread = w.thread;
            }
        }
        return n;
    }

    static void spin(int ms)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            if (!g_main_context_iteration(nullptr, FALSE))
                g_usleep(1000);
        }
    }

    std::unique_ptr<FakeDriver> fake;
    std::shared_ptr<Ipc> ipc;
};

TEST_F(BinderState, RepliesArriveWhateverTheBatchesLookLike)
{
    const std::vector<uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8};
    Batch complete = Batch().add(BR_TRANSACTION_COMPLETE);
    Batch reply = replyWith(data);
    Batch truncated;
    truncated.bytes.assign(reply.bytes.begin(), reply.bytes.begin() + 12);
    auto join = [](Batch a, const Batch &b) {
        a.bytes.insert(a.bytes.end(), b.bytes.begin(), b.bytes.end());
        return a;
    };
    struct Case {
        const char *name;
        std::vector<Batch> batches;
    } cases[] = {
        {"one batch", {join(complete, reply)}},
        {"completion, then reply", {complete, reply}},
        {"noops around", {Batch().add(BR_NOOP).add(BR_TRANSACTION_COMPLETE).add(BR_NOOP), Batch().add(BR_NOOP), reply}},
        {"unknown commands skipped",
         {join(Batch(complete).add(_IO('r', 99)).add(_IOR('r', 98, uint64_t), uint64_t(0)), reply)}},
        {"truncated batch dropped", {join(complete, truncated), reply}},
    };
    for (Case &c : cases) {
        const std::vector<Batch> &batches = c.batches;
        answerCallsWith(batches);
        std::vector<uint8_t> received;
        EXPECT_EQ(call(0, &received), kStatusOk) << c.name;
        EXPECT_EQ(received, data) << c.name;
    }
}

TEST_F(BinderState, ErrorsEndTheCallTheyBelongTo)
{
    int32_t refusal = kStatusFailed;
    std::vector<uint8_t> refusalBytes(4);
    memcpy(refusalBytes.data(), &refusal, 4);
    Batch complete = Batch().add(BR_TRANSACTION_COMPLETE);
    struct Case {
        const char *name;
        uint32_t flags;
        std::vector<Batch> batches;
        Status status;
        StatusSource source;
    } cases[] = {
        {"frozen target", 0, {Batch().add(BR_FROZEN_REPLY)}, -EAGAIN, StatusSource::Delivery},
        {"failed delivery", 0, {Batch().add(BR_FAILED_REPLY)}, -EIO, StatusSource::Delivery},
        {"target died in the call", 0, {complete, Batch().add(BR_DEAD_REPLY)}, kStatusDeadObject,
         StatusSource::Delivery},
        {"peer refused", 0, {complete, replyWith(refusalBytes, TF_STATUS_CODE)}, kStatusFailed, StatusSource::Peer},
    };
    for (Case &c : cases) {
        answerCallsWith(c.batches);
        StatusSource source = StatusSource::Peer;
        EXPECT_EQ(call(c.flags, nullptr, &source), c.status) << c.name;
        EXPECT_EQ(source, c.source) << c.name;
    }
    // What ends a one-way call besides the plain completion.
    for (uint32_t end : {uint32_t(BR_TRANSACTION_PENDING_FROZEN), uint32_t(BR_ONEWAY_SPAM_SUSPECT),
                         uint32_t(BR_TRANSACTION_COMPLETE)}) {
        fake->setScript([&](const Written &w) {
            if (w.command == BC_TRANSACTION)
                fake->queue(w.thread, Batch().add(end));
        });
        EXPECT_EQ(call(kFlagOneway), kStatusOk) << std::hex << end;
    }
    fake->setScript([&](const Written &w) {
        if (w.command == BC_TRANSACTION)
            fake->queue(w.thread, Batch().add(BR_DEAD_REPLY));
    });
    EXPECT_EQ(call(kFlagOneway), kStatusDeadObject);
}

// A call back into the owner while it waits is served inline; the batch
// that completes its reply also brings the outer call's reply.
TEST_F(BinderState, ReplyReadWhileSendingANestedReplyReachesTheOuterCall)
{
    std::thread::id owner = fake->owner();
    std::thread::id onewayThread;
    auto object = LocalObject::create(ipc, "ferry.test.INested",
                                      [&](const RemoteRequest &, uint32_t, uint32_t, LocalReply *reply) {
                                          Writer oneway;
                                          ipc->transactOneway(9, 2, oneway);
                                          reply->writer().appendInt32(3);
                                          return kStatusOk;
                                      });
    const std::vector<uint8_t> outer = {9, 9, 9, 9};
    Batch nested = transactionFor(object, 1);
    Batch outerReply = replyWith(outer);
    fake->setScript([&](const Written &w) {
        binder_transaction_data tr;
        if (w.command == BC_TRANSACTION) {
            memcpy(&tr, w.payload.data(), sizeof tr);
            if (tr.code == kOuterCode) {
                fake->queue(owner, Batch().add(BR_TRANSACTION_COMPLETE));
                fake->queue(owner, nested);
            } else {
                onewayThread = w.thread;
                fake->queue(w.thread, Batch().add(BR_TRANSACTION_COMPLETE));
            }
        } else if (w.command == BC_REPLY) {
            fake->queue(w.thread, Batch {Batch().add(BR_TRANSACTION_COMPLETE).bytes}.add(BR_NOOP));
            fake->queue(w.thread, outerReply);
        }
    });
    std::vector<uint8_t> received;
    EXPECT_EQ(call(0, &received), kStatusOk);
    EXPECT_EQ(received, outer);
    EXPECT_EQ(onewayThread, owner) << "a nested handler calls from the thread the driver routed to";
}

// A looper's transaction is relayed to the owner, which is waiting for its
// own call; the handler's one-way call goes out from the looper, and the
// owner's reply (queued meanwhile) still reaches the owner's call.
TEST_F(BinderState, RelayedHandlerCallsFromItsLooperAndLeavesTheOwnersReply)
{
    std::thread::id owner = fake->owner();
    const std::vector<uint8_t> outer = {4, 3, 2, 1};
    Batch outerReply = replyWith(outer);
    std::atomic<bool> handlerReturned {false};
    bool replyAfterHandler = false;
    std::shared_ptr<LocalObject> object = LocalObject::create(
        ipc, "ferry.test.IRelay", [&](const RemoteRequest &req, uint32_t, uint32_t, LocalReply *) {
            fake->queue(owner, outerReply);
            Writer oneway;
            ipc->transactOneway(9, 2, oneway);
            // Completed before the handler returns: the request must
            // stay readable, the reply wait for the handler.
            std::shared_ptr<BlockedRequest> blocked = req.block();
            if (!blocked)
                return kStatusFailed;
            blocked->reply()->writer().appendInt32(11);
            blocked->complete(kStatusOk);
            blocked.reset();
            g_usleep(20000);
            int32_t code = 0;
            EXPECT_TRUE(req.reader().readInt32(&code));
            EXPECT_EQ(code, 1);
            handlerReturned = true;
            return kStatusOk;
        });
    Batch relayed = transactionFor(object, 1);
    std::thread::id onewayThread, replyThread;
    fake->setScript([&](const Written &w) {
        binder_transaction_data tr;
        if (w.command == BC_TRANSACTION) {
            memcpy(&tr, w.payload.data(), sizeof tr);
            fake->queue(w.thread, Batch().add(BR_TRANSACTION_COMPLETE));
            if (tr.code == kOuterCode)
                fake->queueToLoopers(relayed);
            else
                onewayThread = w.thread;
        } else if (w.command == BC_REPLY) {
            replyThread = w.thread;
            replyAfterHandler = handlerReturned;
            fake->queue(w.thread, Batch().add(BR_TRANSACTION_COMPLETE));
        }
    });
    std::vector<uint8_t> received;
    EXPECT_EQ(call(0, &received), kStatusOk);
    EXPECT_EQ(received, outer);
    spin(50);
    EXPECT_NE(onewayThread, owner);
    EXPECT_EQ(onewayThread, replyThread) << "the looper holding the transaction made the call";
    EXPECT_TRUE(replyAfterHandler);
}

// The main loop reads the device itself: handlers run on it and replies
// leave from it, with no looper in between. A request whose handler blocks
// it is answered from there too, and meanwhile loopers take the calls.
TEST_F(BinderState, MainLoopServesWhatItReadsAndAnswersWhatItHolds)
{
    constexpr uint32_t kHold = 50;
    std::thread::id owner = fake->owner();
    std::shared_ptr<BlockedRequest> held;
    std::vector<std::thread::id> handlerThreads;
    std::shared_ptr<LocalObject> object = LocalObject::create(
        ipc, "ferry.test.IMain", [&](const RemoteRequest &req, uint32_t code, uint32_t, LocalReply *reply) {
            handlerThreads.push_back(std::this_thread::get_id());
            if (code == kHold) {
                held = req.block();
                return held ? kStatusOk : kStatusFailed;
            }
            if (reply)
                reply->writer().appendInt32(int32_t(code));
            return kStatusOk;
        });
    std::mutex mutex;
    std::map<int32_t, std::thread::id> replies;   // reply value -> writing thread
    fake->setScript([&](const Written &w) {
        if (w.command != BC_REPLY)
            return;
        binder_transaction_data tr;
        memcpy(&tr, w.payload.data(), sizeof tr);
        int32_t value = -1;
        if (!(tr.flags & TF_STATUS_CODE) && tr.data_size >= sizeof value)
            memcpy(&value, reinterpret_cast<const void *>(tr.data.ptr.buffer), sizeof value);
        {
            std::lock_guard<std::mutex> lock(mutex);
            replies[value] = w.thread;
        }
        fake->queue(w.thread, Batch().add(BR_TRANSACTION_COMPLETE));
    });
    auto replied = [&](int32_t value) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                auto it = replies.find(value);
                if (it != replies.end())
                    return it->second;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return std::thread::id();
            spin(2);
        }
    };
    spin(20);
    struct Step {
        uint32_t code;
        uint32_t flags;
        bool fromOwner;   // the reply, if any
    };
    const Step steps[] = {
        {1, 0, true},
        {2, TF_ONE_WAY, false},
        {kHold, 0, false},   // held: the owner cannot read now
        {3, 0, false},       // so a looper holds this one
    };
    for (const Step &step : steps) {
        fake->queueToLoopers(transactionFor(object, step.code, step.flags));
        if (step.code == kHold || step.flags & TF_ONE_WAY) {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (handlerThreads.size() < size_t(&step - steps + 1) && std::chrono::steady_clock::now() < deadline)
                spin(2);
            continue;
        }
        std::thread::id writer = replied(int32_t(step.code));
        EXPECT_NE(writer, std::thread::id()) << "code " << step.code;
        EXPECT_EQ(writer == owner, step.fromOwner) << "code " << step.code;
    }
    ASSERT_TRUE(held);
    std::thread([&] {
        held->reply()->writer().appendInt32(int32_t(kHold));
        held->complete(kStatusOk);
    }).join();
    EXPECT_EQ(replied(int32_t(kHold)), owner) << "only the thread that read it can answer it";
    held.reset();
    // The main loop reads again once it answered.
    fake->queueToLoopers(transactionFor(object, 4));
    EXPECT_EQ(replied(4), owner);
    // Completed on the owner thread outside binder work: answered at once,
    // not on a later round the program may never run.
    fake->queueToLoopers(transactionFor(object, kHold));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!held && std::chrono::steady_clock::now() < deadline)
        spin(2);
    ASSERT_TRUE(held);
    held->reply()->writer().appendInt32(int32_t(kHold + 1));
    held->complete(kStatusOk);
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(replies.count(int32_t(kHold + 1)), 1u);
    }
    EXPECT_EQ(handlerThreads.size(), 6u);
    for (std::thread::id thread : handlerThreads)
        EXPECT_EQ(thread, owner) << "every handler runs on the main context";
}

// What the main loop's poll saw may be gone when its turn comes: a source
// dispatched before it in the same round (here one attached before the
// device was opened, as a Qt program's are) made a call that read it. The
// loop must not read then, or it blocks until the driver has more.
class BinderStateEarlierSource : public BinderState {
protected:
    void SetUp() override
    {
        GSource *source = g_timeout_source_new(0);
        g_source_set_callback(
            source, G_SOURCE_FUNC(+[](gpointer data) -> gboolean {
                auto *self = static_cast<BinderStateEarlierSource *>(data);
                if (self->armed.exchange(false))
                    self->status = self->call(0);
                return G_SOURCE_CONTINUE;
            }),
            this, nullptr);
        g_source_attach(source, nullptr);
        m_source = source;
        BinderState::SetUp();
    }
    void TearDown() override
    {
        BinderState::TearDown();
        g_source_destroy(m_source);
        g_source_unref(m_source);
    }

    std::atomic<bool> armed {false};
    Status status = -1;

private:
    GSource *m_source = nullptr;
};

TEST_F(BinderStateEarlierSource, MainLoopDoesNotReadWhatAnEarlierCallTook)
{
    std::thread::id owner = fake->owner();
    answerCallsWith({Batch().add(BR_TRANSACTION_COMPLETE), replyWith({1, 0, 0, 0})});
    spin(20);
    // Readable for the owner, and the call in the same round takes it.
    fake->queue(owner, Batch().add(BR_CLEAR_DEATH_NOTIFICATION_DONE, binder_uintptr_t(1)));
    armed = true;
    std::atomic<bool> done {false};
    std::atomic<bool> rescued {false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !done; ++i)
            g_usleep(10000);
        if (!done) {
            rescued = true;
            fake->queue(owner, Batch().add(BR_NOOP));
        }
    });
    spin(100);
    done = true;
    watchdog.join();
    EXPECT_EQ(status, kStatusOk);
    EXPECT_FALSE(rescued) << "the main loop blocked in a read";
}

// Asynchronous calls wait on a bounded set of threads; the others queue
// and go out as threads come free, each answered once on the main context.
TEST_F(BinderState, AsynchronousCallsShareABoundedSetOfThreads)
{
    constexpr int kCalls = 12;
    constexpr size_t kThreadBound = 4;
    std::mutex mutex;
    std::vector<std::thread::id> out;   // threads whose call waits for its reply
    std::set<std::thread::id> callers;
    fake->setScript([&](const Written &w) {
        if (w.command != BC_TRANSACTION)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        out.push_back(w.thread);
        callers.insert(w.thread);
    });
    std::thread::id owner = fake->owner();
    std::vector<int> answers(kCalls, 0);
    bool allOnMain = true;
    std::vector<std::shared_ptr<PendingCall>> calls;
    for (int i = 0; i < kCalls; ++i) {
        Writer request;
        request.appendInt32(i);
        calls.push_back(ipc->transactAsync(
            7, kOuterCode, std::move(request), [&, i](Status status, StatusSource, std::unique_ptr<RemoteReply>) {
                allOnMain &= std::this_thread::get_id() == owner;
                answers[i] += status == kStatusOk;
            }));
    }
    size_t mostAtOnce = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::count(answers.begin(), answers.end(), 1) < kCalls && std::chrono::steady_clock::now() < deadline) {
        spin(5);
        std::vector<std::thread::id> waiting;
        {
            std::lock_guard<std::mutex> lock(mutex);
            waiting.swap(out);
        }
        mostAtOnce = std::max(mostAtOnce, waiting.size());
        for (std::thread::id thread : waiting)
            fake->queue(thread, Batch().add(BR_TRANSACTION_COMPLETE).add(BR_REPLY, fake->place({0, 0, 0, 0})));
    }
    spin(20);
    EXPECT_EQ(answers, std::vector<int>(kCalls, 1)) << "every call answered once";
    EXPECT_TRUE(allOnMain);
    EXPECT_LE(mostAtOnce, kThreadBound);
    EXPECT_LE(callers.size(), kThreadBound) << "threads are reused";
    EXPECT_LE(ipcPrivate(*ipc).workerCount(), kThreadBound);
}

// Objects only a reply holds live until the driver's reference commands
// for them, which come before the reply's completion, even over several
// batches.
TEST_F(BinderState, RepliedObjectsLiveUntilTheirReferencesAreTaken)
{
    const int objects = 16;
    auto factory = LocalObject::create(ipc, "ferry.test.IFactory",
                                       [&](const RemoteRequest &, uint32_t, uint32_t, LocalReply *reply) {
                                           for (int i = 0; i < objects; ++i)
                                               reply->writer().appendLocalObject(
                                                   LocalObject::create(ipc, "ferry.test.IMade", nullptr));
                                           return kStatusOk;
                                       });
    std::vector<uint64_t> ids;
    fake->setScript([&](const Written &w) {
        binder_transaction_data tr;
        if (w.command != BC_REPLY)
            return;
        memcpy(&tr, w.payload.data(), sizeof tr);
        const uint8_t *data = reinterpret_cast<const uint8_t *>(tr.data.ptr.buffer);
        const uint64_t *offsets = reinterpret_cast<const uint64_t *>(tr.data.ptr.offsets);
        Batch refs;
        for (size_t i = 0; i < tr.offsets_size / 8; ++i) {
            flat_binder_object object;
            memcpy(&object, data + offsets[i], sizeof object);
            ids.push_back(object.binder);
            refs.add(BR_INCREFS, binder_ptr_cookie {object.binder, object.cookie});
            refs.add(BR_ACQUIRE, binder_ptr_cookie {object.binder, object.cookie});
            if (refs.bytes.size() > 400) {   // several read batches, as from the kernel
                fake->queue(w.thread, refs);
                refs = Batch();
            }
        }
        fake->queue(w.thread, refs.add(BR_TRANSACTION_COMPLETE));
    });
    fake->queueToLoopers(transactionFor(factory, 1));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count(BC_REPLY) == 0 && std::chrono::steady_clock::now() < deadline)
        spin(5);
    spin(50);
    ASSERT_EQ(ids.size(), size_t(objects));
    EXPECT_EQ(count(BC_ACQUIRE_DONE), size_t(objects));
    EXPECT_EQ(count(BC_INCREFS_DONE), size_t(objects));
    EXPECT_EQ(ipcPrivate(*ipc).localObjectCount(), size_t(objects + 1)) << "every replied object is alive";

    // Released by the driver: gone.
    for (size_t half = 0; half < 2; ++half) {
        Batch release;
        for (size_t i = half * objects / 2; i < (half + 1) * objects / 2; ++i)
            release.add(BR_RELEASE, binder_ptr_cookie {ids[i], ids[i]}).add(BR_DECREFS, binder_ptr_cookie {ids[i], ids[i]});
        fake->queueToLoopers(release);
    }
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ipcPrivate(*ipc).localObjectCount() > 1 && std::chrono::steady_clock::now() < deadline)
        spin(5);
    EXPECT_EQ(ipcPrivate(*ipc).localObjectCount(), 1u);
}

TEST_F(BinderState, DeathIsReportedOnceAndAcknowledgedInOrder)
{
    std::shared_ptr<RemoteObject> remote = ipcPrivate(*ipc).remoteObjectForHandle(3);
    ASSERT_TRUE(remote);
    int deaths = 0;
    std::thread::id deathThread;
    remote->addDeathHandler([&] {
        ++deaths;
        deathThread = std::this_thread::get_id();
    });
    uint64_t cookie = 0;
    for (const Written &w : fake->written()) {
        if (w.command == BC_REQUEST_DEATH_NOTIFICATION)
            memcpy(&cookie, w.payload.data() + 4, sizeof cookie);
    }
    ASSERT_NE(cookie, 0u);
    // Death, a duplicate, the clear's acknowledgement and an unknown cookie.
    fake->queueToLoopers(Batch().add(BR_DEAD_BINDER, binder_uintptr_t(cookie)));
    fake->queueToLoopers(Batch()
                             .add(BR_DEAD_BINDER, binder_uintptr_t(cookie))
                             .add(BR_CLEAR_DEATH_NOTIFICATION_DONE, binder_uintptr_t(cookie))
                             .add(BR_DEAD_BINDER, binder_uintptr_t(777)));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (count(BC_DEAD_BINDER_DONE) < 3 && std::chrono::steady_clock::now() < deadline)
        spin(5);
    spin(50);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(deathThread, fake->owner()) << "death handlers run on the main context";
    EXPECT_TRUE(remote->isDead());
    EXPECT_EQ(count(BC_DEAD_BINDER_DONE), 3u) << "every notification is acknowledged";
    std::vector<uint32_t> order;
    for (const Written &w : fake->written()) {
        if (w.command == BC_CLEAR_DEATH_NOTIFICATION || w.command == BC_DEAD_BINDER_DONE || w.command == BC_RELEASE)
            order.push_back(w.command);
    }
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(std::vector<uint32_t>(order.begin(), order.begin() + 3),
              (std::vector<uint32_t> {BC_CLEAR_DEATH_NOTIFICATION, BC_DEAD_BINDER_DONE, BC_RELEASE}))
        << "the reference goes last";
    EXPECT_EQ(count(BC_RELEASE), 1u);
    remote.reset();
    EXPECT_EQ(count(BC_RELEASE), 1u) << "released once";
}

} // namespace
