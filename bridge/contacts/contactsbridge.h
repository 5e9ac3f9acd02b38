#pragma once

#include "contactrecord.h"
#include "novumbinderconnection.h"

#include <QContactCollectionId>
#include <QContactId>
#include <QList>
#include <QMap>
#include <QSet>

#include <memory>

class QTimer;

namespace QtContacts {
class QContactManager;
}
namespace ferry::binder {
class PendingCall;
}

// Keeps Android's contacts provider ("novum.contacts") in step with the
// host address book: a full push once the service says it is ready, then
// every added, changed and removed host contact, one request at a time.
class ContactsBridge : public NovumBinderConnection
{
    Q_OBJECT

public:
    explicit ContactsBridge(QObject *parent = nullptr);
    ~ContactsBridge() override;

    bool isPushing() const { return m_pushing; }

private slots:
    void checkReadiness();
    void onConnectionChanged(bool connected);
    void onContactsAdded(const QList<QtContacts::QContactId> &ids);
    void onContactsChanged(const QList<QtContacts::QContactId> &ids);
    void onContactsRemoved(const QList<QtContacts::QContactId> &ids);

private:
    enum Change { Added, Changed, Removed };
    struct Request
    {
        ContactRecord record;
        int32_t code;
        int32_t flags;   // push flags of code 4
    };

    void fullPush();
    void finishPush();
    void handle(Change change, const QList<QtContacts::QContactId> &ids);
    void processPending();
    void sendNext();
    void onReply(int status);
    void completeHead(int status);
    void reset();

    std::unique_ptr<QtContacts::QContactManager> m_manager;
    QtContacts::QContactCollectionId m_addressBook;
    QMap<Change, QSet<QtContacts::QContactId>> m_pending;
    QList<Request> m_queue;
    bool m_pushing = false;
    std::shared_ptr<ferry::binder::PendingCall> m_inFlight;
    QTimer *m_retry = nullptr;
};
