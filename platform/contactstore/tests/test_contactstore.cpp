// The contacts store engine, loaded as the product loads it: through
// QContactManager and QT_PLUGIN_PATH.
#include "testworld.h"

#include <QContactBirthday>
#include <QContactCollectionFilter>
#include <QContactDetailFilter>
#include <QContactManager>
#include <QContactName>
#include <QContactPhoneNumber>
#include <QContactTimestamp>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace QtContacts;

namespace {

const QString kEngine = QStringLiteral("org.nemomobile.contacts.sqlite");

class ContactStore : public ::testing::Test
{
protected:
    std::unique_ptr<QContactManager> open()
    {
        return std::make_unique<QContactManager>(
            kEngine, QMap<QString, QString>{{QStringLiteral("databasePath"), dir.filePath(QStringLiteral("c.db"))},
                                            {QStringLiteral("mergePresenceChanges"), QStringLiteral("false")}});
    }
    static QContact person(const QString &first)
    {
        QContact c;
        QContactName name;
        name.setFirstName(first);
        c.saveDetail(&name);
        QContactPhoneNumber phone;
        phone.setNumber(QStringLiteral("+4912345"));
        phone.setContexts({QContactDetail::ContextWork});
        phone.setSubTypes({QContactPhoneNumber::SubTypeLandline, QContactPhoneNumber::SubTypeMobile});
        c.saveDetail(&phone);
        QContactBirthday birthday;
        birthday.setDate(QDate(1990, 2, 3));
        c.saveDetail(&birthday);
        return c;
    }
    static QContactCollectionId collection(const QContactManager &m, const char *local)
    {
        return QContactCollectionId(m.managerUri(), QByteArray(local));
    }

    QTemporaryDir dir;
};

TEST_F(ContactStore, SavesAndReadsBackDetailsWithTypeTimesAndCollection)
{
    auto m = open();
    ASSERT_EQ(m->managerName(), kEngine);
    ASSERT_EQ(m->error(), QContactManager::NoError);
    QStringList collections;
    for (const QContactCollection &c : m->collections())
        collections << QString::fromLatin1(c.id().localId());
    EXPECT_EQ(collections, (QStringList{"col-1", "col-2"}));

    QContact saved = person(QStringLiteral("Ada"));
    ASSERT_TRUE(m->saveContact(&saved));
    const QContact back = m->contact(saved.id());
    EXPECT_EQ(back.id(), saved.id());
    EXPECT_EQ(back.collectionId(), collection(*m, "col-1"));   // the address book by default
    EXPECT_EQ(back.type(), QContactType::TypeContact);
    EXPECT_EQ(back.detail<QContactName>().firstName(), QStringLiteral("Ada"));
    const QContactPhoneNumber phone = back.detail<QContactPhoneNumber>();
    EXPECT_EQ(phone.subTypes(), (QList<int>{QContactPhoneNumber::SubTypeLandline, QContactPhoneNumber::SubTypeMobile}));
    EXPECT_EQ(phone.contexts(), (QList<int>{QContactDetail::ContextWork}));
    EXPECT_EQ(back.detail<QContactBirthday>().date(), QDate(1990, 2, 3));
    EXPECT_TRUE(back.detail<QContactTimestamp>().lastModified().isValid());

    // A second save keeps the id and moves the modification time on.
    QContact edited = back;
    QContactName name = edited.detail<QContactName>();
    name.setLastName(QStringLiteral("King"));
    edited.saveDetail(&name);
    ASSERT_TRUE(m->saveContact(&edited));
    EXPECT_EQ(edited.id(), saved.id());
    EXPECT_EQ(m->contact(saved.id()).detail<QContactName>().lastName(), QStringLiteral("King"));
    EXPECT_GE(m->contact(saved.id()).detail<QContactTimestamp>().lastModified(),
              back.detail<QContactTimestamp>().lastModified());

    // Filters: the address book's plain contacts only.
    QContact local = person(QStringLiteral("Local"));
    local.setCollectionId(collection(*m, "col-2"));
    ASSERT_TRUE(m->saveContact(&local));
    QContact group;
    group.setType(QContactType::TypeGroup);
    ASSERT_TRUE(m->saveContact(&group));
    QContactCollectionFilter inBook;
    inBook.setCollectionId(collection(*m, "col-1"));
    QContactDetailFilter plain;
    plain.setDetailType(QContactType::Type, QContactType::FieldType);
    plain.setValue(int(QContactType::TypeContact));
    const QList<QContact> found = m->contacts(inBook & plain);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found.first().id(), saved.id());
    EXPECT_EQ(m->contactIds().size(), 3);
}

TEST_F(ContactStore, RefusesWhatItDoesNotHold)
{
    auto m = open();
    QContact c = person(QStringLiteral("X"));
    c.setCollectionId(QContactCollectionId(m->managerUri(), QByteArray("col-9")));
    EXPECT_FALSE(m->saveContact(&c));
    EXPECT_EQ(m->error(), QContactManager::BadArgumentError);

    QContact ghost = person(QStringLiteral("Y"));
    ghost.setId(QContactId(m->managerUri(), QByteArray("sql-4711")));
    EXPECT_FALSE(m->saveContact(&ghost));
    EXPECT_EQ(m->error(), QContactManager::DoesNotExistError);
    EXPECT_FALSE(m->removeContact(ghost.id()));
    EXPECT_EQ(m->contact(QContactId(m->managerUri(), QByteArray("bogus"))).id(), QContactId());
    EXPECT_TRUE(m->contactIds().isEmpty());
}

// Another manager on the same database stands for another process (the
// bridge): it learns of every change from the change log, once, in order.
TEST_F(ContactStore, OtherManagersOfTheDatabaseSeeEveryChangeOnce)
{
    // Registered under the names the signals' signatures use.
    qRegisterMetaType<QList<QContactId>>("QList<QContactId>");
    qRegisterMetaType<QList<QContactDetail::DetailType>>("QList<QContactDetail::DetailType>");
    auto writer = open();
    auto reader = open();
    QSignalSpy ownAdded(writer.get(), &QContactManager::contactsAdded);
    QSignalSpy added(reader.get(), &QContactManager::contactsAdded);
    QSignalSpy changed(reader.get(), &QContactManager::contactsChanged);
    QSignalSpy removed(reader.get(), &QContactManager::contactsRemoved);

    QList<QContact> batch{person(QStringLiteral("A")), person(QStringLiteral("B"))};
    ASSERT_TRUE(writer->saveContacts(&batch));
    EXPECT_EQ(ownAdded.count(), 1);   // at once, for its own write
    ASSERT_TRUE(TestWorld::waitFor([&] { return added.count() == 1; }, 5000));
    EXPECT_EQ(added.first().first().value<QList<QContactId>>(), (QList<QContactId>{batch[0].id(), batch[1].id()}));

    ASSERT_TRUE(writer->saveContact(&batch[1]));
    ASSERT_TRUE(writer->removeContact(batch[0].id()));
    ASSERT_TRUE(TestWorld::waitFor([&] { return removed.count() == 1; }, 5000));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().first().value<QList<QContactId>>(), QList<QContactId>{batch[1].id()});
    EXPECT_EQ(removed.first().first().value<QList<QContactId>>(), QList<QContactId>{batch[0].id()});

    TestWorld::waitFor([] { return false; }, 200);
    EXPECT_EQ(ownAdded.count(), 1);   // its own entries of the log are not repeated
    EXPECT_EQ(added.count(), 1);
    EXPECT_EQ(reader->contactIds().size(), 1);

    // The managers go before the spies. A receiver destroyed while still
    // connected to a QContactManager deadlocks now and then: the manager's
    // disconnectNotify asks isSignalConnected under Qt's signal lock, which
    // is already held when both objects hash to the same lock. The contacts
    // bridge owns its manager, so there the manager always goes first too.
    reader.reset();
    writer.reset();
}

} // namespace
