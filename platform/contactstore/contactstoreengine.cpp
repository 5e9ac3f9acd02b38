#include "contactstoreengine.h"

#include <QContactCollectionFilter>
#include <QContactIntersectionFilter>
#include <QContactTimestamp>
#include <QContactUnionFilter>
#include <QCoreApplication>
#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>

using namespace QtContacts;

Q_LOGGING_CATEGORY(lcContactStore, "com.kestrel.ferryd.contactstore", QtWarningMsg)

namespace {

const QByteArray kContactPrefix = QByteArrayLiteral("sql-");
const QByteArray kCollectionPrefix = QByteArrayLiteral("col-");
const int kAddressBook = 1;
const int kConstituent = 2;
// The change log only has to bridge the moment between a write and the
// other processes reading it; older entries are dropped.
const int kChangeLogKept = 100000;
// A stored contact larger than this is not one that this store wrote.
const int kMaxBlob = 16 * 1024 * 1024;

bool matches(const QContactFilter &filter, const QContact &contact)
{
    switch (filter.type()) {
    case QContactFilter::CollectionFilter:
        return static_cast<const QContactCollectionFilter &>(filter).collectionIds().contains(contact.collectionId());
    case QContactFilter::IntersectionFilter:
        for (const QContactFilter &f : static_cast<const QContactIntersectionFilter &>(filter).filters()) {
            if (!matches(f, contact))
                return false;
        }
        return true;
    case QContactFilter::UnionFilter:
        for (const QContactFilter &f : static_cast<const QContactUnionFilter &>(filter).filters()) {
            if (matches(f, contact))
                return true;
        }
        return false;
    default:
        return QContactManagerEngine::testFilter(filter, contact);
    }
}

QByteArray serialise(const QContact &contact)
{
    QList<QContactDetail> details;
    for (const QContactDetail &detail : contact.details()) {
        // Identity lives in the row, not in the details.
        if (detail.type() != QContactDetail::TypeUndefined)
            details << detail;
    }
    QByteArray blob;
    QDataStream out(&blob, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_15);
    out << details;
    return blob;
}

} // namespace

struct ContactStoreEngine::PendingSignals
{
    QList<QContactId> added;
    QList<QContactId> changed;
    QList<QContactId> removed;
};

QString ContactStoreEngine::engineName()
{
    return QStringLiteral("org.nemomobile.contacts.sqlite");
}

ContactStoreEngine *ContactStoreEngine::open(const QMap<QString, QString> &parameters, QContactManager::Error *error)
{
    static const bool registered = [] {
        // Detail contexts and subtypes are integer lists inside variants.
        qRegisterMetaTypeStreamOperators<QList<int>>("QList<int>");
        return true;
    }();
    Q_UNUSED(registered);

    QString path = parameters.value(QStringLiteral("databasePath"));
    if (path.isEmpty())
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
            + QStringLiteral("/ferry-contacts/contacts.db");
    const QString connection = QStringLiteral("ferry-contactstore-%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    auto *engine = new ContactStoreEngine(parameters, connection);
    if (!engine->openDatabase(path)) {
        delete engine;
        *error = QContactManager::UnspecifiedError;
        return nullptr;
    }
    *error = QContactManager::NoError;
    return engine;
}

ContactStoreEngine::ContactStoreEngine(const QMap<QString, QString> &parameters, const QString &connectionName)
    : m_parameters(parameters)
    , m_connectionName(connectionName)
    , m_writer(QUuid::createUuid().toByteArray(QUuid::Id128))
{
}

ContactStoreEngine::~ContactStoreEngine()
{
    if (m_db.isValid()) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool ContactStoreEngine::openDatabase(const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qCWarning(lcContactStore) << "Cannot create the folder of" << path;
        return false;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    // Writers of other processes hold the lock only for one transaction.
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!m_db.open()) {
        qCWarning(lcContactStore) << "Cannot open" << path << m_db.lastError().text();
        return false;
    }
    QSqlQuery q(m_db);
    const char *const schema[] = {
        "CREATE TABLE IF NOT EXISTS contacts (id INTEGER PRIMARY KEY AUTOINCREMENT, "
        "collection INTEGER NOT NULL, details BLOB NOT NULL)",
        "CREATE TABLE IF NOT EXISTS changes (seq INTEGER PRIMARY KEY AUTOINCREMENT, "
        "kind INTEGER NOT NULL, contact INTEGER NOT NULL, writer BLOB NOT NULL)",
    };
    for (const char *statement : schema) {
        if (!q.exec(QString::fromLatin1(statement))) {
            qCWarning(lcContactStore) << "Cannot set up" << path << q.lastError().text();
            return false;
        }
    }
    if (q.exec(QStringLiteral("SELECT MAX(seq) FROM changes")) && q.next())
        m_seenChange = q.value(0).toLongLong();

    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(path);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { readChangeLog(); });
    return true;
}

QString ContactStoreEngine::managerName() const
{
    return engineName();
}

QMap<QString, QString> ContactStoreEngine::managerParameters() const
{
    return m_parameters;
}

QMap<QString, QString> ContactStoreEngine::idInterpretationParameters() const
{
    // Ids mean the same whatever the other parameters say.
    return {};
}

int ContactStoreEngine::managerVersion() const
{
    return 1;
}

QContactId ContactStoreEngine::contactId(qint64 row) const
{
    return QContactId(managerUri(), kContactPrefix + QByteArray::number(row));
}

qint64 ContactStoreEngine::rowOf(const QContactId &id) const
{
    if (id.managerUri() != managerUri() || !id.localId().startsWith(kContactPrefix))
        return 0;
    bool ok = false;
    const qint64 row = id.localId().mid(kContactPrefix.size()).toLongLong(&ok);
    return ok && row > 0 ? row : 0;
}

QContactCollectionId ContactStoreEngine::collectionId(int number) const
{
    return QContactCollectionId(managerUri(), kCollectionPrefix + QByteArray::number(number));
}

int ContactStoreEngine::collectionNumber(const QContactCollectionId &id) const
{
    if (id.isNull())
        return kAddressBook;
    for (int number : {kAddressBook, kConstituent}) {
        if (id == collectionId(number))
            return number;
    }
    return 0;
}

bool ContactStoreEngine::loadContact(qint64 row, QContact *contact) const
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT collection, details FROM contacts WHERE id = ?"));
    q.addBindValue(row);
    if (!q.exec() || !q.next())
        return false;
    const QByteArray blob = q.value(1).toByteArray();
    QList<QContactDetail> details;
    if (blob.size() <= kMaxBlob) {
        QDataStream in(blob);
        in.setVersion(QDataStream::Qt_5_15);
        in >> details;
        if (in.status() != QDataStream::Ok)
            details.clear();
    }
    QContact c;
    c.setId(contactId(row));
    c.setCollectionId(collectionId(q.value(0).toInt()));
    for (QContactDetail &detail : details)
        c.saveDetail(&detail, QContact::IgnoreAccessConstraints);
    *contact = c;
    return true;
}

QList<QContact> ContactStoreEngine::loadAll(const QContactFilter &filter, const QList<QContactSortOrder> &sortOrders) const
{
    QList<QContact> result;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id FROM contacts ORDER BY id")))
        return result;
    QList<qint64> rows;
    while (q.next())
        rows << q.value(0).toLongLong();
    for (qint64 row : rows) {
        QContact contact;
        if (loadContact(row, &contact) && matches(filter, contact)) {
            if (sortOrders.isEmpty())
                result << contact;
            else
                addSorted(&result, contact, sortOrders);
        }
    }
    return result;
}

QList<QContactId> ContactStoreEngine::contactIds(const QContactFilter &filter, const QList<QContactSortOrder> &sortOrders,
                                                 QContactManager::Error *error) const
{
    QList<QContactId> ids;
    for (const QContact &contact : loadAll(filter, sortOrders))
        ids << contact.id();
    *error = QContactManager::NoError;
    return ids;
}

QList<QContact> ContactStoreEngine::contacts(const QContactFilter &filter, const QList<QContactSortOrder> &sortOrders,
                                             const QContactFetchHint &, QContactManager::Error *error) const
{
    *error = QContactManager::NoError;
    return loadAll(filter, sortOrders);
}

QList<QContact> ContactStoreEngine::contacts(const QList<QContactId> &contactIds, const QContactFetchHint &,
                                             QMap<int, QContactManager::Error> *errorMap,
                                             QContactManager::Error *error) const
{
    QList<QContact> result;
    *error = QContactManager::NoError;
    for (int i = 0; i < contactIds.size(); ++i) {
        QContact contact;
        const qint64 row = rowOf(contactIds.at(i));
        if (!row || !loadContact(row, &contact)) {
            *error = QContactManager::DoesNotExistError;
            if (errorMap)
                errorMap->insert(i, QContactManager::DoesNotExistError);
        }
        result << contact;
    }
    return result;
}

QContact ContactStoreEngine::contact(const QContactId &contactId, const QContactFetchHint &,
                                     QContactManager::Error *error) const
{
    QContact contact;
    const qint64 row = rowOf(contactId);
    *error = row && loadContact(row, &contact) ? QContactManager::NoError : QContactManager::DoesNotExistError;
    return contact;
}

bool ContactStoreEngine::logChange(Change change, qint64 row)
{
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("INSERT INTO changes (kind, contact, writer) VALUES (?, ?, ?)"));
    q.addBindValue(int(change));
    q.addBindValue(row);
    q.addBindValue(m_writer);
    if (!q.exec())
        return false;
    const qint64 seq = q.lastInsertId().toLongLong();
    if (seq % 1000 == 0) {
        q.prepare(QStringLiteral("DELETE FROM changes WHERE seq <= ?"));
        q.addBindValue(seq - kChangeLogKept);
        q.exec();
    }
    return true;
}

bool ContactStoreEngine::store(QContact *contact, PendingSignals *out, QContactManager::Error *error)
{
    const int collection = collectionNumber(contact->collectionId());
    if (!collection) {
        *error = QContactManager::BadArgumentError;
        return false;
    }
    const bool isNew = contact->id().isNull();
    const qint64 existing = isNew ? 0 : rowOf(contact->id());
    if (!isNew) {
        QSqlQuery check(m_db);
        check.prepare(QStringLiteral("SELECT 1 FROM contacts WHERE id = ?"));
        check.addBindValue(existing);
        if (!existing || !check.exec() || !check.next()) {
            *error = QContactManager::DoesNotExistError;
            return false;
        }
    }

    QContact saved = *contact;
    // Every contact carries its type and its times, as the real store's do.
    QContactType type = saved.detail<QContactType>();
    if (type.isEmpty()) {
        type.setType(QContactType::TypeContact);
        saved.saveDetail(&type, QContact::IgnoreAccessConstraints);
    }
    QContactTimestamp timestamp = saved.detail<QContactTimestamp>();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (isNew || !timestamp.created().isValid())
        timestamp.setCreated(now);
    timestamp.setLastModified(now);
    saved.saveDetail(&timestamp, QContact::IgnoreAccessConstraints);

    QSqlQuery q(m_db);
    if (isNew) {
        q.prepare(QStringLiteral("INSERT INTO contacts (collection, details) VALUES (?, ?)"));
        q.addBindValue(collection);
        q.addBindValue(serialise(saved));
    } else {
        q.prepare(QStringLiteral("UPDATE contacts SET collection = ?, details = ? WHERE id = ?"));
        q.addBindValue(collection);
        q.addBindValue(serialise(saved));
        q.addBindValue(existing);
    }
    if (!q.exec()) {
        qCWarning(lcContactStore) << "Cannot save contact:" << q.lastError().text();
        *error = QContactManager::UnspecifiedError;
        return false;
    }
    const qint64 row = isNew ? q.lastInsertId().toLongLong() : existing;
    if (!logChange(isNew ? Added : Changed, row)) {
        *error = QContactManager::UnspecifiedError;
        return false;
    }
    saved.setId(contactId(row));
    saved.setCollectionId(collectionId(collection));
    *contact = saved;
    (isNew ? out->added : out->changed) << saved.id();
    return true;
}

bool ContactStoreEngine::erase(const QContactId &id, PendingSignals *out, QContactManager::Error *error)
{
    const qint64 row = rowOf(id);
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("DELETE FROM contacts WHERE id = ?"));
    q.addBindValue(row);
    if (!row || !q.exec() || q.numRowsAffected() != 1) {
        *error = QContactManager::DoesNotExistError;
        return false;
    }
    if (!logChange(Removed, row)) {
        *error = QContactManager::UnspecifiedError;
        return false;
    }
    out->removed << id;
    return true;
}

bool ContactStoreEngine::saveContact(QContact *contact, QContactManager::Error *error)
{
    QList<QContact> list{*contact};
    QMap<int, QContactManager::Error> errors;
    const bool ok = saveContacts(&list, &errors, error);
    *contact = list.first();
    return ok;
}

bool ContactStoreEngine::saveContacts(QList<QContact> *contacts, QMap<int, QContactManager::Error> *errorMap,
                                      QContactManager::Error *error)
{
    PendingSignals pending;
    *error = QContactManager::NoError;
    m_db.transaction();
    for (int i = 0; i < contacts->size(); ++i) {
        QContactManager::Error e = QContactManager::NoError;
        if (!store(&(*contacts)[i], &pending, &e)) {
            *error = e;
            if (errorMap)
                errorMap->insert(i, e);
        }
    }
    if (!m_db.commit()) {
        m_db.rollback();
        *error = QContactManager::UnspecifiedError;
        return false;
    }
    emitSignals(pending);
    return *error == QContactManager::NoError;
}

bool ContactStoreEngine::saveContacts(QList<QContact> *contacts, const QList<QContactDetail::DetailType> &typeMask,
                                      QMap<int, QContactManager::Error> *errorMap, QContactManager::Error *error)
{
    if (typeMask.isEmpty())
        return saveContacts(contacts, errorMap, error);
    // Only the masked detail types change; the rest stays as stored.
    QList<QContact> merged;
    for (const QContact &contact : *contacts) {
        QContact target = contact;
        const qint64 row = contact.id().isNull() ? 0 : rowOf(contact.id());
        if (row && loadContact(row, &target)) {
            for (QContactDetail::DetailType type : typeMask) {
                for (QContactDetail old : target.details(type))
                    target.removeDetail(&old, QContact::IgnoreAccessConstraints);
                for (QContactDetail detail : contact.details(type))
                    target.saveDetail(&detail, QContact::IgnoreAccessConstraints);
            }
        }
        merged << target;
    }
    const bool ok = saveContacts(&merged, errorMap, error);
    *contacts = merged;
    return ok;
}

bool ContactStoreEngine::removeContact(const QContactId &contactId, QContactManager::Error *error)
{
    return removeContacts({contactId}, nullptr, error);
}

bool ContactStoreEngine::removeContacts(const QList<QContactId> &contactIds, QMap<int, QContactManager::Error> *errorMap,
                                        QContactManager::Error *error)
{
    PendingSignals pending;
    *error = QContactManager::NoError;
    m_db.transaction();
    for (int i = 0; i < contactIds.size(); ++i) {
        QContactManager::Error e = QContactManager::NoError;
        if (!erase(contactIds.at(i), &pending, &e)) {
            *error = e;
            if (errorMap)
                errorMap->insert(i, e);
        }
    }
    if (!m_db.commit()) {
        m_db.rollback();
        *error = QContactManager::UnspecifiedError;
        return false;
    }
    emitSignals(pending);
    return *error == QContactManager::NoError;
}

void ContactStoreEngine::emitSignals(const PendingSignals &pending)
{
    if (!pending.added.isEmpty())
        emit contactsAdded(pending.added);
    if (!pending.changed.isEmpty())
        emit contactsChanged(pending.changed, {});
    if (!pending.removed.isEmpty())
        emit contactsRemoved(pending.removed);
    if (!pending.added.isEmpty() || !pending.changed.isEmpty() || !pending.removed.isEmpty())
        emit dataChanged();
}

void ContactStoreEngine::readChangeLog()
{
    // The watch goes when a file is replaced; keep it on the database.
    if (m_watcher->files().isEmpty())
        m_watcher->addPath(m_db.databaseName());

    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT seq, kind, contact, writer FROM changes WHERE seq > ? ORDER BY seq"));
    q.addBindValue(m_seenChange);
    if (!q.exec())
        return;
    // Runs of one kind become one signal each, in the order they happened.
    PendingSignals run;
    int runKind = 0;
    auto flush = [&] {
        emitSignals(run);
        run = PendingSignals();
    };
    while (q.next()) {
        m_seenChange = q.value(0).toLongLong();
        if (q.value(3).toByteArray() == m_writer)
            continue;
        const int kind = q.value(1).toInt();
        if (kind != runKind)
            flush();
        runKind = kind;
        const QContactId id = contactId(q.value(2).toLongLong());
        if (kind == Added)
            run.added << id;
        else if (kind == Changed)
            run.changed << id;
        else if (kind == Removed)
            run.removed << id;
    }
    flush();
}

QContactCollectionId ContactStoreEngine::defaultCollectionId() const
{
    return collectionId(kAddressBook);
}

QContactCollection ContactStoreEngine::collection(const QContactCollectionId &collectionId,
                                                  QContactManager::Error *error) const
{
    for (const QContactCollection &c : collections(error)) {
        if (c.id() == collectionId)
            return c;
    }
    *error = QContactManager::DoesNotExistError;
    return QContactCollection();
}

QList<QContactCollection> ContactStoreEngine::collections(QContactManager::Error *error) const
{
    QContactCollection aggregate;
    aggregate.setId(collectionId(kAddressBook));
    aggregate.setMetaData(QContactCollection::KeyName, QStringLiteral("Aggregate"));
    QContactCollection local;
    local.setId(collectionId(kConstituent));
    local.setMetaData(QContactCollection::KeyName, QStringLiteral("Local"));
    *error = QContactManager::NoError;
    return {aggregate, local};
}

bool ContactStoreEngine::isFilterSupported(const QContactFilter &) const
{
    return true;
}

QList<QContactType::TypeValues> ContactStoreEngine::supportedContactTypes() const
{
    return {QContactType::TypeContact, QContactType::TypeGroup};
}
