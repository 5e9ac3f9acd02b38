// Values that travelled over a real bus inside variants come out plain.
#include "plaindbusvalue.h"
#include "privatebus.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

class Receiver : public QObject
{
    Q_OBJECT
public:
    QList<QDBusMessage> received;
public slots:
    void onMessage(const QDBusMessage &message) { received << message; }
};

class PlainDBusValueTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bus.isRunning()) << qPrintable(bus.errorString());
        sender = std::make_unique<QDBusConnection>(bus.connect("sender"));
        listener = std::make_unique<QDBusConnection>(bus.connect("listener"));
        ASSERT_TRUE(listener->connect(QString(), "/t", "ferry.test", "Carry", &receiver, SLOT(onMessage(QDBusMessage))));
    }
    void TearDown() override
    {
        QDBusConnection::disconnectFromBus("sender");
        QDBusConnection::disconnectFromBus("listener");
    }

    // The arguments as the listening side's QtDBus hands them over.
    QVariantList roundTrip(const QVariantList &arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal("/t", "ferry.test", "Carry");
        signal.setArguments(arguments);
        const int before = receiver.received.size();
        EXPECT_TRUE(sender->send(signal));
        QElapsedTimer timer;
        timer.start();
        while (receiver.received.size() == before && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        if (receiver.received.size() == before)
            return {};
        return receiver.received.last().arguments();
    }

    PrivateBus bus;
    std::unique_ptr<QDBusConnection> sender;
    std::unique_ptr<QDBusConnection> listener;
    Receiver receiver;
};

QVariant wrapped(const QVariant &value)
{
    return QVariant::fromValue(QDBusVariant(value));
}

QVariant structure()
{
    QDBusArgument argument;
    argument.beginStructure();
    argument << 7 << QStringLiteral("seven");
    argument.endStructure();
    return QVariant::fromValue(argument);
}

TEST_F(PlainDBusValueTest, VariantsComeOutPlain)
{
    const QVariantMap inner{{"name", "N"}, {"count", 3}};
    const struct
    {
        const char *what;
        QVariant sent;
        QVariant expected;
    } cases[] = {
        {"string", QString("s"), QString("s")},
        {"int64", qlonglong(1) << 40, qlonglong(1) << 40},
        {"bool", true, true},
        {"map a{sv}", inner, inner},
        {"list av of strings and a map", QVariantList{"a", wrapped(inner)}, QVariantList{"a", inner}},
        {"string list as", QStringList{"x", "y"}, QStringList{"x", "y"}},
        {"bytes ay", QByteArray("\x01\x02", 2), QByteArray("\x01\x02", 2)},
        {"object path", QVariant::fromValue(QDBusObjectPath("/a/b")), QString("/a/b")},
        {"structure", structure(), QVariantList{7, "seven"}},
        {"variant in a variant", wrapped(QString("deep")), QString("deep")},
        {"map in a list in a map",
         QVariantMap{{"outer", QVariantList{wrapped(QVariantMap{{"k", QVariantList{1, 2}}})}}},
         QVariantMap{{"outer", QVariantList{QVariantMap{{"k", QVariantList{1, 2}}}}}}},
    };
    for (const auto &c : cases) {
        const QVariantList args = roundTrip({wrapped(c.sent)});
        ASSERT_EQ(args.size(), 1) << c.what;
        EXPECT_EQ(plainDBusValue(args.first()), c.expected) << c.what;
    }
}

TEST_F(PlainDBusValueTest, TopLevelDictionaryOfVariants)
{
    // Like a share configuration: a{sv} whose values are lists of maps and maps.
    const QVariantMap link{{"name", ""}, {"linkTitle", "T"}, {"data", "U"}};
    const QVariantMap method{{"methodId", "com.example/com.example.Share"}, {"accountId", 0}};
    const QVariantMap sent{{"resources", QVariantList{wrapped(link)}}, {"mimeType", "text/x-url"},
                           {"selectedTransferMethodInfo", method}};
    const QVariantList args = roundTrip({sent});
    ASSERT_EQ(args.size(), 1);
    // What QtDBus hands over keeps the nested parts wrapped ...
    EXPECT_NE(args.first().userType(), int(QMetaType::QVariantMap));
    // ... and the helper takes them out.
    const QVariantMap plain = plainDBusValue(args.first()).toMap();
    EXPECT_EQ(plain.value("mimeType"), QVariant("text/x-url"));
    EXPECT_EQ(plain.value("resources"), QVariant(QVariantList{link}));
    EXPECT_EQ(plain.value("selectedTransferMethodInfo"), QVariant(method));
}

TEST(PlainDBusValue, LocalValuesPassThrough)
{
    EXPECT_FALSE(plainDBusValue(QVariant()).isValid());
    EXPECT_EQ(plainDBusValue(QVariant(5)), QVariant(5));
    EXPECT_EQ(plainDBusValue(QVariantList{wrapped("a")}), QVariant(QVariantList{"a"}));
}

} // namespace

#include "test_plaindbusvalue.moc"
