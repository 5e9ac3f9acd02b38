#pragma once

// The runtime simulator (through SimWorld), a recording notification server
// on the world's session bus, and ferryd-bridge as a real process between
// them, with the means to post as Android would and to act as the user.

#include "fakenotificationserver.h"
#include "simworld.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <memory>

class NotificationWorld
{
public:
    ~NotificationWorld() { stop(); }

    bool start(QString *error)
    {
        if (!sim.start(error))
            return false;
        sim.setStartServices(QStringLiteral("novum,notificationposter"));
        m_dir = sim.world.tempDir() + QStringLiteral("/bridge");
        QDir().mkpath(cacheDir());
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(sim.world.sessionBusAddress(), QStringLiteral("notification-server")));
        // The bridge's calls to the server block the bridge, and the test
        // waits on the bridge: the server answers from a thread of its own.
        m_serverThread.start();
        m_server = std::make_unique<FakeNotificationServer>(*m_connection);
        m_server->moveToThread(&m_serverThread);
        if (!m_server->isRegistered()) {
            *error = QStringLiteral("notification server did not register");
            return false;
        }
        return true;
    }

    void stop()
    {
        stopBridge();
        if (m_server) {
            FakeNotificationServer *server = m_server.release();
            QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
        }
        m_serverThread.quit();
        m_serverThread.wait();
        if (m_connection)
            QDBusConnection::disconnectFromBus(m_connection->name());
        m_connection.reset();
        sim.stop();
    }

    bool startBridge(const QByteArray &blacklist = QByteArray())
    {
        QFile file(blacklistFile());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(blacklist);
        file.close();
        m_bridge = sim.world.startProcess(QStringLiteral(FERRY_BRIDGE_BIN), {},
                                          {QStringLiteral("XDG_CACHE_HOME=") + cacheDir(),
                                           QStringLiteral("FERRYD_NOTIF_BLACKLIST_PATH=") + blacklistFile(),
                                           QStringLiteral("QT_LOGGING_RULES=")
                                               + (m_debug ? QStringLiteral("com.kestrel.ferryd.*.debug=true") : QString())});
        return m_bridge != 0;
    }
    // The bridge's debug output (on by default).
    void setDebug(bool on) { m_debug = on; }
    bool stopBridge()
    {
        if (!m_bridge)
            return true;
        const bool stopped = sim.world.stopProcess(m_bridge, 5000);
        return stopped;
    }
    qint64 bridgePid() const { return m_bridge; }

    bool waitServiceRegistered(int timeoutMs = 10000)
    {
        return TestWorld::waitFor([&] {
            return sim.command({{"cmd", "list"}}).value(QStringLiteral("names")).toArray().contains("novum.notification");
        }, timeoutMs);
    }

    // Android's side; each answers the simulator's reply ("status" is the
    // bridge's binder status).
    QJsonObject notify(QJsonObject command)
    {
        command.insert(QStringLiteral("cmd"), QStringLiteral("notify"));
        return sim.command(command);
    }
    QJsonObject post(const QJsonObject &record) { return notify({{"op", "post"}, {"record", record}}); }
    QJsonObject remove(const QString &key) { return notify({{"op", "remove"}, {"key", key}}); }
    QJsonObject registerCallback() { return notify({{"op", "register"}}); }
    // What the callback object received: [code, key(, action)] each.
    QList<QJsonArray> callbacks() const
    {
        QList<QJsonArray> list;
        for (const QJsonObject &line : sim.received(QStringLiteral("notification-callback"))) {
            QJsonArray entry{line.value(QStringLiteral("code"))};
            for (const QJsonValue &v : line.value(QStringLiteral("args")).toArray())
                entry.append(v);
            list << entry;
        }
        return list;
    }

    // The server's side, copied from its thread.
    QList<FakeNotificationServer::Entry> published() { return m_server->publishedEntries(); }
    QMap<uint, FakeNotificationServer::Entry> live() { return m_server->liveEntries(); }
    QList<uint> closeRequests() { return m_server->closeRequestIds(); }
    // The live notification of an Android key; a default entry when none.
    FakeNotificationServer::Entry liveByKey(const QString &key)
    {
        for (const FakeNotificationServer::Entry &e : live()) {
            if (e.hints.value(QStringLiteral("x-nemo-origin-key")).toString() == key)
                return e;
        }
        return {};
    }
    FakeNotificationServer *server() { return m_server.get(); }

    QString cacheDir() const { return m_dir + QStringLiteral("/cache"); }
    QString iconDir() const { return cacheDir() + QStringLiteral("/ferryd-bridge/icons"); }
    QString blacklistFile() const { return m_dir + QStringLiteral("/notif-blacklist"); }

    SimWorld sim;

private:
    QString m_dir;
    qint64 m_bridge = 0;
    bool m_debug = true;
    std::unique_ptr<QDBusConnection> m_connection;
    std::unique_ptr<FakeNotificationServer> m_server;
    QThread m_serverThread;
};
