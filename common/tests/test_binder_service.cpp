// The serving side of the binder layer against the simulated runtime:
// named services follow the unit's state, one-way requests get no reply,
// callbacks and objects handed over by Android work and die properly.

#include "novumbindercallback.h"
#include "novumbindercallbackclient.h"
#include "novumbindercallbackclientdeathhandler.h"
#include "novumbinderconnection.h"
#include "novumbinderrequesthandler.h"
#include "novumbinderservice.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "servicecontroller.h"
#include "simworld.h"

#include <ferry/binder/local_object.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include "local_object_p.h"

#include <QJsonArray>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

const QString kEcho = QStringLiteral("test.echo");
const QString kEchoInterface = QStringLiteral("ferry.test.IEcho");
const QString kHost = QStringLiteral("ferry.test.host");
const QString kHostInterface = QStringLiteral("ferry.test.IHost");

SimWorld *g_world = nullptr;

class Environment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        g_world = new SimWorld;
        QString error;
        ASSERT_TRUE(g_world->start(&error)) << qPrintable(error);
        ServiceController::instance();
    }
    void TearDown() override
    {
        g_world->stop();
        delete g_world;
        g_world = nullptr;
    }
};
const auto *g_environment = ::testing::AddGlobalTestEnvironment(new Environment);

// Code 1: String16 s, int32 n -> s, n * 2. Code 2: writes a reply even
// when called one-way. Other codes: not handled.
class HostService : public NovumBinderService
{
public:
    HostService()
        : NovumBinderService(kHost, kHostInterface, QStringLiteral("/dev/vororoveredi"))
    {
    }

    int calls = 0;
    bool lastHadWriter = false;
    QString lastText;

protected:
    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override
    {
        ++calls;
        lastHadWriter = writer.hasWriter();
        if (code == 1) {
            lastText = reader.readString();
            const int32_t n = reader.readInt32();
            writer.writeString(lastText);
            writer.writeInt32(n * 2);
            return true;
        }
        if (code == 2) {
            lastText = reader.readString();
            writer.writeInt32(0x5555);
            return true;
        }
        return false;
    }
};

// A service that leaves processRequest alone.
class LazyService : public NovumBinderService
{
public:
    LazyService()
        : NovumBinderService(QStringLiteral("ferry.test.lazy"), kHostInterface, QStringLiteral("/dev/vororoveredi"))
    {
    }
};

QJsonObject callHost(const QString &service, int code, const QJsonArray &args, bool oneway = false)
{
    return g_world->command({{"cmd", "call"},
                             {"service", service},
                             {"interface", kHostInterface},
                             {"code", code},
                             {"oneway", oneway},
                             {"args", args}});
}

class BinderServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_world);
        g_world->setStartServices(kEcho);
    }
};

} // namespace

TEST_F(BinderServiceTest, RegistersWhenActivatingAndUnregistersWhenDeactivating)
{
    ASSERT_TRUE(g_world->bringDown());
    HostService service;
    EXPECT_FALSE(service.isRegistered());

    QStringList registeredIn;
    QObject::connect(ServiceController::instance(), &ServiceController::serviceStateChanged, &service, [&] {
        if (service.isRegistered())
            registeredIn << ServiceController::instance()->serviceState();
    });
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_FALSE(registeredIn.isEmpty());
    EXPECT_EQ(registeredIn.first(), QStringLiteral("activating"));

    // The name reaches the service manager once that is up.
    QJsonObject answer;
    ASSERT_TRUE(TestWorld::waitFor([&] {
        answer = callHost(kHost, 1, {QJsonObject{{"s16", "hi"}}, QJsonObject{{"i32", 21}}});
        return answer.value("status").toInt(-1) == 0;
    }, 15000)) << qPrintable(QJsonDocument(answer).toJson());
    EXPECT_EQ(service.lastText, QStringLiteral("hi"));
    EXPECT_TRUE(service.lastHadWriter);
    // "hi" as String16 (length, two units, terminator) and 42.
    const QJsonArray ints = answer.value("ints").toArray();
    ASSERT_EQ(ints.size(), 4);
    EXPECT_EQ(ints.at(0).toInt(), 2);
    EXPECT_EQ(ints.at(3).toInt(), 42);

    // Stopping: the object is withdrawn at once, calls no longer reach it.
    ASSERT_TRUE(g_world->pretendState(QStringLiteral("deactivating")));
    EXPECT_FALSE(service.isRegistered());
    const int calls = service.calls;
    EXPECT_NE(callHost(kHost, 1, {QJsonObject{{"s16", "x"}}, QJsonObject{{"i32", 1}}}).value("status").toInt(0), 0);
    EXPECT_EQ(service.calls, calls);

    // "active" alone does not register again; "activating" does.
    ASSERT_TRUE(g_world->pretendState(QStringLiteral("active")));
    EXPECT_FALSE(service.isRegistered());
    ASSERT_TRUE(g_world->pretendState(QStringLiteral("activating")));
    EXPECT_TRUE(service.isRegistered());
    ASSERT_TRUE(TestWorld::waitFor([&] {
        return callHost(kHost, 1, {QJsonObject{{"s16", "back"}}, QJsonObject{{"i32", 1}}}).value("status").toInt(-1) == 0;
    }, 10000));
    EXPECT_EQ(service.lastText, QStringLiteral("back"));
    ASSERT_TRUE(g_world->pretendState(QStringLiteral("active")));
    EXPECT_TRUE(service.isRegistered());
}

TEST_F(BinderServiceTest, ServiceMadeWhileActiveRegistersAtOnce)
{
    ASSERT_TRUE(g_world->bringUp());
    HostService service;
    EXPECT_TRUE(service.isRegistered());
    ASSERT_TRUE(TestWorld::waitFor([&] {
        return callHost(kHost, 1, {QJsonObject{{"s16", "now"}}, QJsonObject{{"i32", 2}}}).value("status").toInt(-1) == 0;
    }, 10000));

    // One-way: handled, but no reply whatever the handler writes.
    const QJsonObject oneway = callHost(kHost, 2, {QJsonObject{{"s16", "quiet"}}}, true);
    EXPECT_EQ(oneway.value("status").toInt(-1), 0);
    EXPECT_FALSE(oneway.contains("hex"));
    ASSERT_TRUE(TestWorld::waitFor([&] { return service.lastText == QLatin1String("quiet"); }, 5000));
    EXPECT_FALSE(service.lastHadWriter);

    // The same code two-way does get the reply.
    const QJsonObject twoway = callHost(kHost, 2, {QJsonObject{{"s16", "loud"}}});
    EXPECT_EQ(twoway.value("status").toInt(-1), 0);
    EXPECT_EQ(twoway.value("ints").toArray(), QJsonArray{0x5555});
    EXPECT_TRUE(service.lastHadWriter);

    // Codes the service does not handle fail.
    EXPECT_EQ(callHost(kHost, 9, {}).value("status").toInt(-1), 1);

    LazyService lazy;
    ASSERT_TRUE(TestWorld::waitFor([&] {
        return callHost(QStringLiteral("ferry.test.lazy"), 1, {}).value("status").toInt(-1) == 1;
    }, 10000));
}

namespace {

// A HAL-style service on the HIDL device, registered under an instance.
class HidlHostService : public NovumBinderService
{
public:
    HidlHostService()
        : NovumBinderService(QStringLiteral("default_test"), QStringLiteral("ferry.test@1.0::IHal"),
                             QStringLiteral("/dev/hwvororoveredi"))
    {
    }
    std::string received;

protected:
    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override
    {
        if (code != 1 || !reader.reader()->readHidlString(&received) || !writer.writer())
            return false;
        writer.writer()->appendInt32(0);
        writer.writer()->appendInt32(int32_t(received.size()));
        return true;
    }
};

} // namespace

TEST_F(BinderServiceTest, HidlServiceRegistersItsInstance)
{
    ASSERT_TRUE(g_world->bringUp());
    HidlHostService service;
    EXPECT_TRUE(service.isRegistered());
    QJsonObject answer;
    ASSERT_TRUE(TestWorld::waitFor([&] {
        answer = g_world->command({{"cmd", "call"},
                                   {"device", "/dev/hwvororoveredi"},
                                   {"service", "ferry.test@1.0::IHal/default_test"},
                                   {"code", 1},
                                   {"args", QJsonArray{QJsonObject{{"hidl_string", "hal"}}}}});
        return answer.value("status").toInt(-1) == 0;
    }, 10000)) << qPrintable(QJsonDocument(answer).toJson());
    EXPECT_EQ(service.received, "hal");
    EXPECT_EQ(answer.value("ints").toArray(), (QJsonArray{0, 3}));
}

namespace {

class Handler : public NovumBinderRequestHandler
{
public:
    bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) override
    {
        lastCode = code;
        text = reader.readString();
        hadWriter = writer.hasWriter();
        writer.writeInt32(42);
        ++calls;
        return true;
    }
    int calls = 0;
    int32_t lastCode = 0;
    QString text;
    bool hadWriter = false;
};

class DeathHandler : public NovumBinderCallbackClientDeathHandler
{
public:
    void clientDied(NovumBinderCallbackClient *client) override { died << client; }
    QList<NovumBinderCallbackClient *> died;
};

} // namespace

TEST_F(BinderServiceTest, CallbacksServeAndDropWithTheConnection)
{
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    NovumBinderConnection connection(kEcho, kEchoInterface, true);
    ASSERT_TRUE(connection.isConnected());

    Handler handler;
    NovumBinderCallback *callback = connection.newCallback(QStringLiteral("ferry.test.ICallback"), &handler);
    ASSERT_TRUE(callback);
    ASSERT_TRUE(callback->localObject());

    NovumBinderTransaction *t = connection.newTransaction(4, false);
    ASSERT_TRUE(t);
    t->writer().writeLocalObject(callback->localObject());
    t->writer().writeString(QStringLiteral("ferry.test.ICallback"));
    t->writer().writeString(QStringLiteral("ping"));
    ASSERT_EQ(t->execute(), 0);
    EXPECT_EQ(t->reader().readInt32(), 0);
    EXPECT_EQ(t->reader().readInt32(), 0);   // the callback's status
    EXPECT_EQ(t->reader().readInt32(), 42);  // its reply
    EXPECT_EQ(handler.text, QStringLiteral("ping"));
    EXPECT_TRUE(handler.hadWriter);

    NovumBinderTransaction *o = connection.newTransaction(5, false);
    o->writer().writeLocalObject(callback->localObject());
    o->writer().writeString(QStringLiteral("ferry.test.ICallback"));
    o->writer().writeString(QStringLiteral("oneway ping"));
    ASSERT_EQ(o->execute(), 0);
    ASSERT_TRUE(TestWorld::waitFor([&] { return handler.calls == 2; }, 5000));
    EXPECT_EQ(handler.text, QStringLiteral("oneway ping"));
    EXPECT_FALSE(handler.hadWriter);

    // The connection goes: the callback stops serving.
    const std::weak_ptr<ferry::binder::LocalObject> object = callback->localObject();
    ASSERT_TRUE(g_world->command({{"cmd", "kill-remote"}, {"service", kEcho}, {"republish", true}}).value("ok").toBool());
    ASSERT_TRUE(TestWorld::waitFor([&] { return !callback->localObject(); }, 10000));
    if (auto held = object.lock()) {
        EXPECT_TRUE(ferry::binder::isDropped(*held));
    }
}

TEST_F(BinderServiceTest, ObjectsHandedOverReportTheirDeath)
{
    ASSERT_TRUE(g_world->bringUp());
    ASSERT_TRUE(g_world->command({{"cmd", "publish"}, {"service", kEcho}}).value("ok").toBool());
    NovumBinderConnection connection(kEcho, kEchoInterface, true);
    ASSERT_TRUE(connection.isConnected());

    NovumBinderTransaction *t = connection.newTransaction(6, false);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->execute(), 0);
    ASSERT_EQ(t->reader().readInt32(), 0);
    const std::shared_ptr<ferry::binder::RemoteObject> remote = t->reader().readObject();
    ASSERT_TRUE(remote);

    EXPECT_EQ(NovumBinderCallbackClient::create(nullptr, nullptr, QStringLiteral("x")), nullptr);
    DeathHandler deaths;
    QPointer<NovumBinderCallbackClient> client =
        NovumBinderCallbackClient::create(&deaths, remote, QStringLiteral("ferry.test.IEchoChild"));
    ASSERT_TRUE(client);
    EXPECT_EQ(client->parent(), nullptr);

    QPointer<NovumBinderTransaction> call = client->newTransaction(1, false);
    ASSERT_TRUE(call);
    call->writer().writeString(QStringLiteral("child"));
    ASSERT_EQ(call->execute(), 0);
    EXPECT_EQ(call->reader().readInt32(), 0);
    EXPECT_EQ(call->reader().readString(), QStringLiteral("child"));

    QPointer<NovumBinderTransaction> pending = client->newTransaction(1, false);
    QSignalSpy spy(client.data(), &NovumBinderCallbackClient::onConnectionChanged);
    bool pendingLostClient = false;
    QObject::connect(client.data(), &NovumBinderCallbackClient::onConnectionChanged, [&] {
        pendingLostClient = pending && pending->execute() == -1;
    });

    ASSERT_TRUE(g_world->command({{"cmd", "kill-remote"}, {"service", kEcho}}).value("ok").toBool());
    ASSERT_TRUE(TestWorld::waitFor([&] { return !client; }, 10000));
    ASSERT_EQ(deaths.died.size(), 1);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_TRUE(pendingLostClient);
    // The client took its transactions with it.
    EXPECT_FALSE(call);
    EXPECT_FALSE(pending);
}
