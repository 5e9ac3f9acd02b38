// ferryd-bridge as a real process pushing the host address book into the
// simulated Android contacts service. The tests run in order and share the
// store: each builds on what the one before left.
#include "contactsworld.h"

#include <QContactBirthday>
#include <QContactCollectionId>
#include <QContactName>
#include <QContactPhoneNumber>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

using namespace QtContacts;

namespace {

ContactsWorld *world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        world = new ContactsWorld;
        QString error;
        ASSERT_TRUE(world->start(&error)) << qPrintable(error);
        ASSERT_TRUE(world->sim.bringUp());
        ASSERT_TRUE(world->startBridge());
    }
    void TearDown() override
    {
        world->stop();
        delete world;
        world = nullptr;
    }
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

QContact person(const QString &first, const char *collection = "col-1")
{
    QContact c;
    c.setCollectionId(QContactCollectionId(world->manager->managerUri(), QByteArray(collection)));
    QContactName name;
    name.setFirstName(first);
    c.saveDetail(&name);
    return c;
}

QContact save(QContact c)
{
    EXPECT_TRUE(world->manager->saveContact(&c));
    return c;
}

QString idOf(const QContact &c)
{
    return c.id().toString();
}

// Records received since |from|: "code/operation/flags:id" (flags for code 4 only).
QStringList summary(int from)
{
    QStringList list;
    for (const QJsonObject &r : world->records().mid(from)) {
        QString s = QStringLiteral("%1/%2").arg(r.value("code").toInt()).arg(r.value("operation").toInt());
        if (r.value("code").toInt() == 4)
            s += QStringLiteral("/%1").arg(r.value("flags").toInt());
        list << s + ':' + r.value("id").toString();
    }
    return list;
}

bool waitRecords(int count, int timeoutMs = 10000)
{
    return TestWorld::waitFor([&] { return world->records().size() >= count; }, timeoutMs);
}

// A fresh service answers "not yet ready"; once told otherwise, the bridge's
// next check starts a full push.
bool restartReady()
{
    const int checks = world->received(1).size();
    return world->restartService() && TestWorld::waitFor([&] { return world->received(1).size() > checks; }, 10000)
        && world->setReadiness(1);
}

QContact g_first;
QContact g_kept;
QContact g_gone;
QContact g_local;

TEST(ContactsBridge, NotYetReadyIsAskedAgainEverySecondAndAnEmptyPushEndsAtOnce)
{
    ASSERT_TRUE(world->publish());
    ASSERT_TRUE(TestWorld::waitFor([] { return world->received(1).size() >= 2; }, 10000));
    const QList<QJsonObject> checks = world->received(1);
    EXPECT_EQ(checks[0].value("readiness").toInt(), 0);
    const double gap = checks[1].value("time").toDouble() - checks[0].value("time").toDouble();
    EXPECT_GE(gap, 900);
    EXPECT_LE(gap, 3000);
    EXPECT_TRUE(world->records().isEmpty());

    ASSERT_TRUE(world->setReadiness(1));
    ASSERT_TRUE(TestWorld::waitFor([] { return world->received(1).last().value("readiness").toInt() == 1; }, 5000));
    // The bridge queries the store as soon as it has the answer.
    TestWorld::waitFor([] { return false; }, 500);
    // The address book is empty: no push record, and the push is over, so a
    // new contact is sent as an addition right away.
    g_first = save(person(QStringLiteral("First")));
    ASSERT_TRUE(waitRecords(1));
    EXPECT_EQ(summary(0), QStringList{"3/1:" + idOf(g_first)});
    const QJsonObject record = world->records().first();
    EXPECT_EQ(record.value("rows").toArray(),
              (QJsonArray{QJsonObject{{"mime", "vnd.android.cursor.item/name"}, {"pairs", QJsonArray{QJsonArray{"data2", "First"}}}}}));
    EXPECT_FALSE(record.value("timestamp").toString().isEmpty());
}

TEST(ContactsBridge, FullPushCarriesThePlainContactsOfTheAddressBookWithPushFlags)
{
    // One contact: the only record is first and last.
    int from = world->records().size();
    ASSERT_TRUE(restartReady());
    ASSERT_TRUE(waitRecords(from + 1));

    // Saved while the service is up: additions. Not in the address book,
    // or not a plain contact: nothing.
    QContact phoned = person(QStringLiteral("Phoned"));
    QContactPhoneNumber number;
    number.setNumber(QStringLiteral("+4930123"));
    number.setSubTypes({QContactPhoneNumber::SubTypeLandline, QContactPhoneNumber::SubTypeMobile});
    number.setContexts(QContactDetail::ContextWork);
    phoned.saveDetail(&number);
    g_kept = save(phoned);
    QContact born = person(QStringLiteral("Born"));
    QContactBirthday birthday;
    birthday.setDateTime(QDateTime(QDate(1990, 7, 1), QTime(12, 0), Qt::UTC));
    born.saveDetail(&birthday);
    g_gone = save(born);
    g_local = save(person(QStringLiteral("Local"), "col-2"));
    QContact group = person(QStringLiteral("Group"));
    group.setType(QContactType::TypeGroup);
    save(group);
    ASSERT_TRUE(waitRecords(from + 3));
    TestWorld::waitFor([] { return false; }, 300);
    EXPECT_EQ(summary(from), (QStringList{"4/2/3:" + idOf(g_first), "3/1:" + idOf(g_kept), "3/1:" + idOf(g_gone)}));

    from = world->records().size();
    ASSERT_TRUE(restartReady());
    ASSERT_TRUE(waitRecords(from + 3));
    TestWorld::waitFor([] { return false; }, 300);
    EXPECT_EQ(summary(from), (QStringList{"4/2/1:" + idOf(g_first), "4/2/0:" + idOf(g_kept), "4/2/2:" + idOf(g_gone)}));
    const QList<QJsonObject> pushed = world->records().mid(from);
    ASSERT_EQ(pushed.size(), 3);
    EXPECT_EQ(pushed[1].value("rows").toArray()[1].toObject().value("pairs").toArray(),
              (QJsonArray{QJsonArray{"data2", "17"}, QJsonArray{"data1", "+4930123"}}));
    EXPECT_EQ(pushed[2].value("rows").toArray()[1].toObject(),
              (QJsonObject{{"mime", "vnd.android.cursor.item/contact_event"},
                           {"pairs", QJsonArray{QJsonArray{"data2", "3"}, QJsonArray{"data1", "1990-07-01"}}}}));
}

TEST(ContactsBridge, ChangesAfterAPushAreSentOneByOne)
{
    const int from = world->records().size();
    QContact extra = save(person(QStringLiteral("Extra")));
    QContact changed = g_kept;
    QContactName name = changed.detail<QContactName>();
    name.setLastName(QStringLiteral("Renamed"));
    changed.saveDetail(&name);
    g_kept = save(changed);
    ASSERT_TRUE(world->manager->removeContact(g_gone.id()));
    QContact local = g_local;
    local.saveDetail(&name);
    save(local);   // not in the address book: not sent
    ASSERT_TRUE(world->manager->removeContact(g_local.id()));   // but its removal is
    ASSERT_TRUE(waitRecords(from + 4));
    TestWorld::waitFor([] { return false; }, 300);
    EXPECT_EQ(summary(from), (QStringList{"3/1:" + idOf(extra), "3/2:" + idOf(g_kept), "3/3:" + idOf(g_gone),
                                          "3/3:" + idOf(g_local)}));
    const QJsonObject removal = world->records()[from + 2];
    EXPECT_EQ(removal.value("rows").toArray(), QJsonArray());
    EXPECT_EQ(removal.value("timestamp").toString(QStringLiteral("null")), QString());
    g_gone = extra;
}

TEST(ContactsBridge, ChangesDuringAPushFollowItOnceInOrder)
{
    // Address book now: first, kept, extra (g_gone).
    const int checks = world->received(1).size();
    ASSERT_TRUE(world->restartService());
    ASSERT_TRUE(TestWorld::waitFor([&] { return world->received(1).size() > checks; }, 10000));
    ASSERT_TRUE(world->setReplyDelay(250));
    ASSERT_TRUE(world->setReadiness(1));
    int from = world->records().size();
    ASSERT_TRUE(waitRecords(from + 1));
    ASSERT_EQ(summary(from).size(), 1);

    QContact added = save(person(QStringLiteral("Late")));
    QContact changed = g_first;
    QContactName name = changed.detail<QContactName>();
    name.setLastName(QStringLiteral("During"));
    changed.saveDetail(&name);
    save(changed);
    ASSERT_TRUE(world->manager->removeContact(g_gone.id()));

    ASSERT_TRUE(waitRecords(from + 6));
    EXPECT_EQ(summary(from), (QStringList{"4/2/1:" + idOf(g_first), "4/2/0:" + idOf(g_kept), "4/2/2:" + idOf(g_gone),
                                          "3/1:" + idOf(added), "3/2:" + idOf(g_first), "3/3:" + idOf(g_gone)}));
    ASSERT_TRUE(world->setReplyDelay(0));

    // Sent once: the next push carries the address book, nothing else.
    from = world->records().size();
    ASSERT_TRUE(restartReady());
    ASSERT_TRUE(waitRecords(from + 3));
    TestWorld::waitFor([] { return false; }, 500);
    EXPECT_EQ(summary(from), (QStringList{"4/2/1:" + idOf(g_first), "4/2/0:" + idOf(g_kept), "4/2/2:" + idOf(added)}));
}

// Last: SIGTERM runs the shut-down order, and the contacts bridge goes
// cleanly after its connection.
TEST(ContactsBridge, StopsInOrderOnSigterm)
{
    const qint64 pid = world->bridgePid();
    ASSERT_TRUE(world->sim.world.signalProcess(pid, SIGTERM));
    ASSERT_TRUE(TestWorld::waitFor([&] { return !world->sim.world.isProcessRunning(pid); }, 10000));
    const int status = world->sim.world.processExitStatus(pid);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
