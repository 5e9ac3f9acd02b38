#include "object_relay_p.h"

#include <ferry/binder/ipc.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/log.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/writer.h>

#include "ipc_p.h"
#include "local_object_p.h"
#include "parcel_copy_p.h"
#include "parcel_data_p.h"

#include <linux/android/binder.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ferry::binder {

std::shared_ptr<ObjectRelay> ObjectRelay::create()
{
    return std::shared_ptr<ObjectRelay>(new ObjectRelay);
}

ObjectRelay::~ObjectRelay()
{
    dropAll();
}

Status ObjectRelay::relay(const RemoteRequest &request, LocalReply *reply, const std::shared_ptr<RemoteObject> &target)
{
    if (!target || target->isDead())
        return kStatusDeadObject;
    const std::shared_ptr<const ParcelData> &parcel = requestParcel(request);
    std::shared_ptr<Ipc> back = parcel ? parcel->ipc() : nullptr;
    std::shared_ptr<Ipc> ipc = target->ipc();
    if (!back)
        return -EINVAL;
    Writer out;
    if (!copy(Reader(parcel), ipc, &out))
        return -EINVAL;
    if (!reply)
        return ipc->transactOneway(target->handle(), request.code(), out);
    std::unique_ptr<RemoteReply> answer;
    Status status = ipc->transactSync(target->handle(), request.code(), out, &answer);
    if (status != kStatusOk)
        return status;
    if (!copy(answer->reader(), back, &reply->writer()))
        return -EINVAL;
    return kStatusOk;
}

bool ObjectRelay::copy(const Reader &from, const std::shared_ptr<Ipc> &toIpc, Writer *to)
{
    return copyParcel(from, to, [this, toIpc](Reader at, Writer *w) { return copyObject(at, toIpc, w); });
}

bool ObjectRelay::copyObject(Reader at, const std::shared_ptr<Ipc> &toIpc, Writer *to)
{
    flat_binder_object object;
    if (at.bytesRemaining() < sizeof object)
        return false;
    memcpy(&object, at.data() + at.position(), sizeof object);
    switch (object.hdr.type) {
    case BINDER_TYPE_HANDLE: {
        std::shared_ptr<RemoteObject> remote;
        if (!at.readObject(&remote) || !remote)
            return false;
        std::shared_ptr<LocalObject> standIn = standInFor(remote, toIpc);
        if (!standIn)
            return false;
        to->appendLocalObject(standIn);
        return true;
    }
    case BINDER_TYPE_BINDER: {
        // One of ours came back: if it stands for an object on the other
        // device, that object goes on.
        std::shared_ptr<LocalObject> local;
        if (!at.readLocalObject(&local))
            return false;
        for (const Entry &entry : m_entries) {
            if (local && entry.local.lock() == local) {
                std::shared_ptr<RemoteObject> remote = entry.remote.lock();
                if (remote && remote->ipc() == toIpc && !remote->isDead()) {
                    to->appendRemoteObject(remote);
                    return true;
                }
            }
        }
        BINDER_DEBUG("relay: an object of this process that stands for nothing there, sent as null");
        to->appendNullObject();
        return true;
    }
    default:
        // Weak references give the receiver nothing to call.
        BINDER_DEBUG("relay: a weak reference cannot cross devices, sent as null");
        to->appendNullObject();
        return true;
    }
}

std::shared_ptr<LocalObject> ObjectRelay::standInFor(const std::shared_ptr<RemoteObject> &remote,
                                                     const std::shared_ptr<Ipc> &toIpc)
{
    for (const Entry &entry : m_entries) {
        if (entry.remote.lock() != remote)
            continue;
        std::shared_ptr<LocalObject> local = entry.local.lock();
        if (local && local->ipc() == toIpc && !isDropped(*local))
            return local;
    }
    if (remote->isDead())
        return nullptr;
    sweep();
    if (m_entries.size() >= kMaxStandIns) {
        BINDER_WARN("relay: %zu objects passed through already, refusing more", m_entries.size());
        return nullptr;
    }
    std::weak_ptr<ObjectRelay> weakSelf = weak_from_this();
    std::shared_ptr<LocalObject> standIn = LocalObject::createStandIn(
        toIpc, [weakSelf, remote](const RemoteRequest &request, uint32_t, uint32_t, LocalReply *reply) {
            std::shared_ptr<ObjectRelay> self = weakSelf.lock();
            return self ? self->relay(request, reply, remote) : kStatusDeadObject;
        });
    if (!standIn)
        return nullptr;
    Entry entry;
    entry.local = standIn;
    entry.remote = remote;
    std::weak_ptr<LocalObject> weakStandIn = standIn;
    // The stand-in holds |remote| through its handler; dropping it lets go.
    entry.deathId = remote->addDeathHandler([weakStandIn] {
        if (std::shared_ptr<LocalObject> gone = weakStandIn.lock())
            gone->drop();
    });
    m_entries.push_back(entry);
    return standIn;
}

void ObjectRelay::add(const std::shared_ptr<LocalObject> &local, const std::shared_ptr<RemoteObject> &remote)
{
    sweep();
    Entry entry;
    entry.local = local;
    entry.remote = remote;
    entry.own = false;
    m_entries.push_back(entry);
}

void ObjectRelay::dropAll()
{
    std::vector<Entry> entries;
    entries.swap(m_entries);
    for (Entry &entry : entries) {
        std::shared_ptr<LocalObject> local = entry.local.lock();
        std::shared_ptr<RemoteObject> remote = entry.remote.lock();
        if (remote && entry.deathId)
            remote->removeHandler(entry.deathId);
        if (local && entry.own)
            local->drop();
    }
}

size_t ObjectRelay::standInCount()
{
    sweep();
    return size_t(std::count_if(m_entries.begin(), m_entries.end(), [](const Entry &e) { return e.own; }));
}

void ObjectRelay::sweep()
{
    auto gone = [](const Entry &entry) {
        std::shared_ptr<LocalObject> local = entry.local.lock();
        if (local && !isDropped(*local) && !entry.remote.expired())
            return false;
        std::shared_ptr<RemoteObject> remote = entry.remote.lock();
        if (remote && entry.deathId)
            remote->removeHandler(entry.deathId);
        return true;
    };
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), gone), m_entries.end());
}

} // namespace ferry::binder
