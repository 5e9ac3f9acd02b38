#pragma once

// The runtime simulator (through SimWorld) with its "novum.contacts", the
// contacts store in a private data folder, and ferryd-bridge as a real
// process; for the guest tests and the benchmark. Contacts go in through
// QContactManager, as the host's address book applications put them in.

#include "simworld.h"

#include <QContactManager>
#include <QDir>

class ContactsWorld
{
public:
    // Sets XDG_DATA_HOME (this process and the bridge share the store) and
    // the plug-in path before the first manager is opened.
    bool start(QString *error)
    {
        m_dir = QStringLiteral("/tmp/ferry-contacts-%1").arg(QCoreApplication::applicationPid());
        QDir(m_dir).removeRecursively();
        QDir().mkpath(m_dir);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir));
        QCoreApplication::addLibraryPath(QStringLiteral(FERRY_PLUGIN_DIR));
        if (!sim.start(error))
            return false;
        sim.setStartServices(QStringLiteral("none"));
        manager = std::make_unique<QtContacts::QContactManager>(QStringLiteral("org.nemomobile.contacts.sqlite"));
        if (manager->managerName() != QLatin1String("org.nemomobile.contacts.sqlite")) {
            *error = QStringLiteral("the contacts store plug-in did not load");
            return false;
        }
        return true;
    }

    void stop()
    {
        stopBridge();
        manager.reset();
        sim.stop();
        QDir(m_dir).removeRecursively();
    }

    bool startBridge(bool debug = true)
    {
        QStringList env{QStringLiteral("XDG_DATA_HOME=") + m_dir, QStringLiteral("QT_PLUGIN_PATH=" FERRY_PLUGIN_DIR)};
        if (debug)
            env << QStringLiteral("QT_LOGGING_RULES=com.kestrel.ferryd.contacts.debug=true");
        // FERRY_TEST_BRIDGE_BIN: another program in its place (a wrapper
        // running it under valgrind, say).
        m_bridge = sim.world.startProcess(qEnvironmentVariable("FERRY_TEST_BRIDGE_BIN", QStringLiteral(FERRY_BRIDGE_BIN)),
                                          {}, env);
        return m_bridge != 0;
    }
    bool stopBridge()
    {
        const bool stopped = !m_bridge || sim.world.stopProcess(m_bridge, 5000);
        m_bridge = 0;
        return stopped;
    }
    qint64 bridgePid() const { return m_bridge; }

    // One test-control call to the simulated contacts service.
    bool control(int code, int value)
    {
        const QJsonObject answer = sim.command({{"cmd", "call"}, {"service", "novum.contacts"}, {"code", code},
                                                {"interface", "novum.contacts.INovumContacts"},
                                                {"args", QJsonArray{QJsonObject{{"i32", value}}}}});
        return answer.value(QStringLiteral("status")).toInt(-1) == 0;
    }
    bool setReadiness(int readiness) { return control(0x5eed0001, readiness); }
    bool setReplyDelay(int ms) { return control(0x5eed0002, ms); }

    bool publish()
    {
        return sim.command({{"cmd", "publish"}, {"service", "novum.contacts"}}).value(QStringLiteral("ok")).toBool();
    }
    // Withdraws the service (its process ends: a binder death for the
    // bridge) and publishes a fresh one, which answers "not yet ready".
    bool restartService()
    {
        if (!sim.command({{"cmd", "withdraw"}, {"service", "novum.contacts"}}).value(QStringLiteral("ok")).toBool())
            return false;
        // Back at once: the bridge's watch must see a service that returns
        // before its next poll.
        return publish();
    }

    // What the service received: readiness checks (code 1) and records
    // (codes 3 and 4), oldest first.
    QList<QJsonObject> received(int code) const
    {
        QList<QJsonObject> lines;
        for (const QJsonObject &line : sim.received(QStringLiteral("novum.contacts"))) {
            if (line.value(QStringLiteral("code")).toInt() == code)
                lines << line;
        }
        return lines;
    }
    QList<QJsonObject> records() const
    {
        QList<QJsonObject> lines;
        for (const QJsonObject &line : sim.received(QStringLiteral("novum.contacts"))) {
            const int code = line.value(QStringLiteral("code")).toInt();
            if (code == 3 || code == 4)
                lines << line;
        }
        return lines;
    }

    SimWorld sim;
    std::unique_ptr<QtContacts::QContactManager> manager;

private:
    QString m_dir;
    qint64 m_bridge = 0;
};
