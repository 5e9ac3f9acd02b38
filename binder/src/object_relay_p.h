#pragma once

#include <ferry/binder/status.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace ferry::binder {

class Ipc;
class LocalObject;
class LocalReply;
class Reader;
class RemoteObject;
class RemoteRequest;
class Writer;

// Carries calls between binder devices. A binder object inside a relayed
// parcel becomes a stand-in on the other device (one per object, reused
// while it lives) that relays its calls back to the real one; a stand-in
// that comes back becomes the object it stands for again. A stand-in lives
// while the other side holds it, holding the real object as long; when the
// real object dies its stand-in is dropped and calls on it fail.
// Main context only.
class ObjectRelay : public std::enable_shared_from_this<ObjectRelay> {
public:
    // Live stand-ins are bounded: a peer passing object after object cannot
    // grow this process without end; past the bound parcels are refused.
    static constexpr size_t kMaxStandIns = 1024;

    static std::shared_ptr<ObjectRelay> create();
    ~ObjectRelay();

    // Relays |request| (received on one device) to |target| on another and
    // its reply back.
    Status relay(const RemoteRequest &request, LocalReply *reply, const std::shared_ptr<RemoteObject> &target);
    // Copies a parcel received on one device into |to| for |toIpc|'s device.
    bool copy(const Reader &from, const std::shared_ptr<Ipc> &toIpc, Writer *to);
    // |local| stands for |remote| without being made here (a bridge's own
    // forwarder): it is reused for |remote| and unwrapped like the others.
    void add(const std::shared_ptr<LocalObject> &local, const std::shared_ptr<RemoteObject> &remote);
    // Drops every stand-in: their calls fail from now on.
    void dropAll();
    size_t standInCount();

    ObjectRelay(const ObjectRelay &) = delete;
    ObjectRelay &operator=(const ObjectRelay &) = delete;

private:
    struct Entry {
        std::weak_ptr<LocalObject> local;
        std::weak_ptr<RemoteObject> remote;
        unsigned long deathId = 0;
        bool own = true;
    };

    ObjectRelay() = default;
    bool copyObject(Reader at, const std::shared_ptr<Ipc> &toIpc, Writer *to);
    std::shared_ptr<LocalObject> standInFor(const std::shared_ptr<RemoteObject> &remote,
                                            const std::shared_ptr<Ipc> &toIpc);
    void sweep();

    std::vector<Entry> m_entries;
};

} // namespace ferry::binder
