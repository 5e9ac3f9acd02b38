#pragma once

#include <QContactManagerEngine>
#include <QSqlDatabase>

class QFileSystemWatcher;

// The host's contacts store: every contact is one row of an SQLite database
// (its details serialised), in one of two collections: "col-1", the
// address book of aggregated contacts (the default for contacts saved
// without a collection), and "col-2", a constituent collection (an
// account's own contacts, kept apart from the address book).
//
// Several processes share the database. Each write also appends to a change
// log; every engine watches the database file and turns the entries of
// other processes into contactsAdded/Changed/Removed, as it does at once
// for its own writes.
//
// Parameters: "databasePath" (default: contacts.db in the folder
// "ferry-contacts" of the user's generic data location, that is
// $XDG_DATA_HOME); any other parameter is kept and otherwise ignored.
class ContactStoreEngine : public QtContacts::QContactManagerEngine
{
    Q_OBJECT

public:
    static QString engineName();
    // Null (with *error set) when the database cannot be opened.
    static ContactStoreEngine *open(const QMap<QString, QString> &parameters,
                                    QtContacts::QContactManager::Error *error);
    ~ContactStoreEngine() override;

    QString managerName() const override;
    QMap<QString, QString> managerParameters() const override;
    QMap<QString, QString> idInterpretationParameters() const override;
    int managerVersion() const override;

    QList<QtContacts::QContactId> contactIds(const QtContacts::QContactFilter &filter,
                                             const QList<QtContacts::QContactSortOrder> &sortOrders,
                                             QtContacts::QContactManager::Error *error) const override;
    QList<QtContacts::QContact> contacts(const QtContacts::QContactFilter &filter,
                                         const QList<QtContacts::QContactSortOrder> &sortOrders,
                                         const QtContacts::QContactFetchHint &fetchHint,
                                         QtContacts::QContactManager::Error *error) const override;
    QList<QtContacts::QContact> contacts(const QList<QtContacts::QContactId> &contactIds,
                                         const QtContacts::QContactFetchHint &fetchHint,
                                         QMap<int, QtContacts::QContactManager::Error> *errorMap,
                                         QtContacts::QContactManager::Error *error) const override;
    QtContacts::QContact contact(const QtContacts::QContactId &contactId,
                                 const QtContacts::QContactFetchHint &fetchHint,
                                 QtContacts::QContactManager::Error *error) const override;

    bool saveContact(QtContacts::QContact *contact, QtContacts::QContactManager::Error *error) override;
    bool removeContact(const QtContacts::QContactId &contactId, QtContacts::QContactManager::Error *error) override;
    bool saveContacts(QList<QtContacts::QContact> *contacts, QMap<int, QtContacts::QContactManager::Error> *errorMap,
                      QtContacts::QContactManager::Error *error) override;
    bool saveContacts(QList<QtContacts::QContact> *contacts,
                      const QList<QtContacts::QContactDetail::DetailType> &typeMask,
                      QMap<int, QtContacts::QContactManager::Error> *errorMap,
                      QtContacts::QContactManager::Error *error) override;
    bool removeContacts(const QList<QtContacts::QContactId> &contactIds,
                        QMap<int, QtContacts::QContactManager::Error> *errorMap,
                        QtContacts::QContactManager::Error *error) override;

    QtContacts::QContactCollectionId defaultCollectionId() const override;
    QtContacts::QContactCollection collection(const QtContacts::QContactCollectionId &collectionId,
                                              QtContacts::QContactManager::Error *error) const override;
    QList<QtContacts::QContactCollection> collections(QtContacts::QContactManager::Error *error) const override;

    bool isFilterSupported(const QtContacts::QContactFilter &filter) const override;
    QList<QtContacts::QContactType::TypeValues> supportedContactTypes() const override;

private:
    enum Change { Added = 1, Changed = 2, Removed = 3 };
    struct PendingSignals;

    ContactStoreEngine(const QMap<QString, QString> &parameters, const QString &connectionName);
    bool openDatabase(const QString &path);
    QtContacts::QContactId contactId(qint64 row) const;
    qint64 rowOf(const QtContacts::QContactId &id) const;
    QtContacts::QContactCollectionId collectionId(int number) const;
    int collectionNumber(const QtContacts::QContactCollectionId &id) const;
    bool loadContact(qint64 row, QtContacts::QContact *contact) const;
    QList<QtContacts::QContact> loadAll(const QtContacts::QContactFilter &filter,
                                        const QList<QtContacts::QContactSortOrder> &sortOrders) const;
    bool store(QtContacts::QContact *contact, PendingSignals *out, QtContacts::QContactManager::Error *error);
    bool erase(const QtContacts::QContactId &id, PendingSignals *out, QtContacts::QContactManager::Error *error);
    bool logChange(Change change, qint64 row);
    void emitSignals(const PendingSignals &pending);
    void readChangeLog();

    QMap<QString, QString> m_parameters;
    QString m_connectionName;
    QSqlDatabase m_db;
    QByteArray m_writer;   // tags this engine's own change log entries
    qint64 m_seenChange = 0;
    QFileSystemWatcher *m_watcher = nullptr;
};
