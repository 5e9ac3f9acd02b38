#include "contactsbridge.h"

#include "logging.h"
#include "novumparcel.h"
#include "novumbindertransaction.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/pending_call.h>
#include <ferry/binder/remote_reply.h>

#include <QContactCollectionFilter>
#include <QContactDetailFilter>
#include <QContactManager>
#include <QPointer>
#include <QTimer>

using namespace QtContacts;

namespace {

const int32_t kCodeReadiness = 1;
const int32_t kCodeChange = 3;
const int32_t kCodePush = 4;
const int32_t kFirstOfPush = 1;
const int32_t kLastOfPush = 2;
const int kRetryMs = 1000;

} // namespace

ContactsBridge::ContactsBridge(QObject *parent)
    : NovumBinderConnection(QStringLiteral("novum.contacts"), QStringLiteral("novum.contacts.INovumContacts"), true,
                            parent)
    , m_manager(std::make_unique<QContactManager>(
          QStringLiteral("org.nemomobile.contacts.sqlite"),
          QMap<QString, QString>{{QStringLiteral("mergePresenceChanges"), QStringLiteral("false")}}))
    , m_retry(new QTimer(this))
{
    m_addressBook = QContactCollectionId(m_manager->managerUri(), QByteArrayLiteral("col-1"));
    m_retry->setSingleShot(true);
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &ContactsBridge::checkReadiness);

    connect(m_manager.get(), &QContactManager::contactsAdded, this, &ContactsBridge::onContactsAdded);
    connect(m_manager.get(), &QContactManager::contactsChanged, this, &ContactsBridge::onContactsChanged);
    connect(m_manager.get(), &QContactManager::contactsRemoved, this, &ContactsBridge::onContactsRemoved);
    connect(this, &NovumBinderConnection::connectionChanged, this, &ContactsBridge::onConnectionChanged);

    qCDebug(lcContacts) << "Attempting to establish binder connection to Novum contacts service";
    checkReadiness();
}

ContactsBridge::~ContactsBridge()
{
    // The base class says "disconnected" while it is destroyed, when this
    // part of the object is already gone.
    disconnect(this, &NovumBinderConnection::connectionChanged, this, nullptr);
    // A reply arriving later must not reach a bridge that is gone.
    if (m_inFlight)
        m_inFlight->cancel();
}

void ContactsBridge::onConnectionChanged(bool connected)
{
    if (connected) {
        checkReadiness();
        return;
    }
    // What was queued went to a service that is gone; the next connection
    // starts with a full push, which carries every contact as it is then.
    reset();
}

void ContactsBridge::reset()
{
    m_retry->stop();
    if (m_inFlight)
        m_inFlight->cancel();
    m_inFlight.reset();
    m_queue.clear();
    m_pending.clear();
    m_pushing = false;
}

void ContactsBridge::checkReadiness()
{
    if (!isConnected()) {
        qCWarning(lcContacts)
            << "Binder client connection has not been established, skipping contacts provider availability check";
        qCDebug(lcContacts) << "Novum contacts service is not available, waiting for reconnect";
        return;
    }
    qCDebug(lcContacts) << "Checking if Novum contacts service is ready for synchronisation";
    int readiness = 0;
    NovumBinderTransaction *transaction = newTransaction(kCodeReadiness, false);
    const int status = transaction ? transaction->execute() : -1;
    if (status != 0) {
        qCWarning(lcContacts) << "Unable to check availability of Novum contacts provider - status:" << status;
    } else {
        NovumParcel &reply = transaction->reader();
        const int32_t replyStatus = reply.readInt32();
        if (replyStatus != 0) {
            qCWarning(lcContacts)
                << "Unable to read result from Novum contacts provider availability check - status:" << replyStatus;
        } else if (reply.atEnd()) {
            // The default of a missing value (-1) would read as "not available".
            qCWarning(lcContacts) << "Unable to read result from Novum contacts provider availability check";
        } else {
            readiness = reply.readInt32();
        }
    }
    delete transaction;

    if (readiness > 0) {
        qCDebug(lcContacts) << "Novum contacts service is available, performing initial sync";
        fullPush();
    } else if (readiness == 0) {
        qCDebug(lcContacts) << "Novum contacts service is not yet ready, queuing retry";
        m_retry->start();
    } else {
        qCDebug(lcContacts) << "Novum contacts service is not available, waiting for reconnect";
    }
}

void ContactsBridge::fullPush()
{
    if (!isConnected() || m_pushing)
        return;
    m_pushing = true;

    QContactCollectionFilter inAddressBook;
    inAddressBook.setCollectionId(m_addressBook);
    QContactDetailFilter plainContacts;
    plainContacts.setDetailType(QContactType::Type, QContactType::FieldType);
    plainContacts.setValue(int(QContactType::TypeContact));
    const QList<QContact> contacts = m_manager->contacts(inAddressBook & plainContacts);
    if (contacts.isEmpty()) {
        // Nothing to send, so no reply will end the push: end it here, or
        // every later change would wait in the pending sets for ever.
        finishPush();
        return;
    }
    qCDebug(lcContacts) << "Notifying Novum contacts service of all current contacts:" << contacts.size();
    for (int i = 0; i < contacts.size(); ++i) {
        int32_t flags = 0;
        if (i == 0)
            flags |= kFirstOfPush;
        if (i == contacts.size() - 1)
            flags |= kLastOfPush;
        m_queue.append({ContactRecord::fromContact(contacts.at(i), ContactRecord::Changed), kCodePush, flags});
    }
    sendNext();
}

void ContactsBridge::finishPush()
{
    m_pushing = false;
    qCWarning(lcContacts) << "Successfully notified Novum contacts service of current contacts.";
    processPending();
}

void ContactsBridge::processPending()
{
    static const struct {
        Change change;
        const char *message;
    } order[] = {
        {Added, "Processing pending added contacts"},
        {Changed, "Processing pending changed contacts"},
        {Removed, "Processing pending removed contacts"},
    };
    for (const auto &step : order) {
        // Taken out, so that a later push does not send them again.
        const QSet<QContactId> ids = m_pending.take(step.change);
        if (ids.isEmpty())
            continue;
        qCDebug(lcContacts) << step.message;
        handle(step.change, ids.values());
    }
}

void ContactsBridge::onContactsAdded(const QList<QContactId> &ids)
{
    handle(Added, ids);
}

void ContactsBridge::onContactsChanged(const QList<QContactId> &ids)
{
    handle(Changed, ids);
}

void ContactsBridge::onContactsRemoved(const QList<QContactId> &ids)
{
    handle(Removed, ids);
}

void ContactsBridge::handle(Change change, const QList<QContactId> &ids)
{
    if (!isConnected())
        return;
    if (m_pushing) {
        static const char *const queueing[] = {"Queueing contact creation", "Queueing contact change",
                                               "Queueing contact removal"};
        qCDebug(lcContacts) << queueing[change];
        QSet<QContactId> &pending = m_pending[change];
        for (const QContactId &id : ids)
            pending.insert(id);
        return;
    }
    for (const QContactId &id : ids) {
        if (change == Removed) {
            qCDebug(lcContacts) << "Notifying Novum contacts service of contact deletion:" << id;
            m_queue.append({ContactRecord::removal(id), kCodeChange, 0});
            continue;
        }
        const QContact contact = m_manager->contact(id);
        // Gone again before it could be read, not in the address book (an
        // account's own contact), or a group, which the full push leaves
        // out as well: nothing to tell.
        if (contact.id().isNull() || contact.collectionId() != m_addressBook
            || contact.type() != QContactType::TypeContact)
            continue;
        if (change == Added)
            qCDebug(lcContacts) << "Notifying Novum contacts service of contact addition:" << id;
        else
            qCDebug(lcContacts) << "Notifying Novum contacts service of contact modification:" << id;
        m_queue.append({ContactRecord::fromContact(contact, change == Added ? ContactRecord::Added : ContactRecord::Changed),
                        kCodeChange, 0});
    }
    sendNext();
}

void ContactsBridge::sendNext()
{
    while (!m_inFlight && !m_queue.isEmpty()) {
        const std::shared_ptr<ferry::binder::Client> binderClient = isConnected() ? client() : nullptr;
        if (!binderClient) {
            qCWarning(lcContacts) << "Binder client connection has not been established, skipping change notification";
            return;
        }
        const Request &head = m_queue.first();
        ferry::binder::LocalRequest request = binderClient->newRequest(uint32_t(head.code));
        {
            NovumParcel parcel(&request);
            head.record.write(parcel);
            if (head.code == kCodePush)
                parcel.writeInt32(head.flags);
        }
        QPointer<ContactsBridge> self(this);
        m_inFlight = binderClient->transactAsync(
            uint32_t(head.code), std::move(request),
            [self](ferry::binder::Status status, ferry::binder::StatusSource, std::unique_ptr<ferry::binder::RemoteReply>) {
                if (self)
                    self->onReply(status);
            });
        if (!m_inFlight)
            completeHead(-1);
    }
}

void ContactsBridge::onReply(int status)
{
    m_inFlight.reset();
    completeHead(status);
    sendNext();
}

void ContactsBridge::completeHead(int status)
{
    if (m_queue.isEmpty())
        return;
    // A failed record is logged and skipped; the queue goes on.
    if (status != 0)
        qCWarning(lcContacts) << "Unable to notify Novum contacts service of contact change - status:" << status;
    else
        qCDebug(lcContacts) << "Successfully notified Novum contacts service of contact change.";
    const Request done = m_queue.takeFirst();
    if (done.code == kCodePush && (done.flags & kLastOfPush))
        finishPush();
}
