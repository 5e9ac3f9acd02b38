#pragma once

// A TestWorld whose runtime unit runs ferry-runtime-sim, plus the means to
// drive the simulator (its command socket) and read what it received (its
// transaction log). One per test program; set up in a gtest Environment
// before anything uses the system bus.

#include "servicecontroller.h"
#include "testworld.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QTextStream>

class SimWorld
{
public:
    // services: what the simulator publishes when the unit starts
    // ("none", "all" or a comma-separated list); changeable before each
    // start with setStartServices().
    bool start(QString *error)
    {
        TestWorld::Options options;
        const QString dir = QStringLiteral("/tmp/ferry-simworld-%1").arg(QCoreApplication::applicationPid());
        m_dir = dir;
        QDir().mkpath(dir);
        m_socket = dir + QStringLiteral("/sim.sock");
        m_log = dir + QStringLiteral("/sim.log");
        m_servicesFile = dir + QStringLiteral("/services");
        setStartServices(QStringLiteral("test.echo"));
        // Both sides read the runtime's SDK level from here.
        const QString buildProp = dir + QStringLiteral("/build.prop");
        QFile prop(buildProp);
        if (prop.open(QIODevice::WriteOnly | QIODevice::Truncate))
            prop.write("ro.build.version.sdk=29\nro.build.version.release=10\n");
        prop.close();
        qputenv("FERRY_BUILD_PROP", QFile::encodeName(buildProp));
        options.runtimeCommand = QStringLiteral("exec '%1' --socket '%2' --log '%3' --services \"$(cat '%4')\"")
                                     .arg(QStringLiteral(FERRY_RUNTIME_SIM_BIN), m_socket, m_log, m_servicesFile);
        options.systemdArguments << QStringLiteral("--stop-timeout=5000");
        if (!world.start(options)) {
            *error = world.errorString();
            return false;
        }
        return true;
    }

    void stop()
    {
        world.stop();
        QDir(m_dir).removeRecursively();
    }

    void setStartServices(const QString &list)
    {
        QFile f(m_servicesFile);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(list.toUtf8());
    }

    // Brings the unit to "active" or "inactive" through systemd calls, as
    // the daemon would.
    bool bringUp(int timeoutMs = 30000)
    {
        ServiceController::instance()->controlService(true);
        return world.waitForUnitState(QStringLiteral("active"), timeoutMs)
            && TestWorld::waitFor([] { return ServiceController::instance()->serviceState() == QLatin1String("active"); }, timeoutMs);
    }
    bool bringDown(int timeoutMs = 30000)
    {
        ServiceController::instance()->controlService(false);
        return world.waitForUnitState(QStringLiteral("inactive"), timeoutMs)
            && TestWorld::waitFor([] { return ServiceController::instance()->serviceState() == QLatin1String("inactive"); }, timeoutMs);
    }
    // Only tells the world a new state, the simulator keeps running.
    bool pretendState(const QString &state)
    {
        if (!world.setUnitProperties({{QStringLiteral("ActiveState"), state}}))
            return false;
        return TestWorld::waitFor([&] { return ServiceController::instance()->serviceState() == state; }, 10000);
    }

    QString socketPath() const { return m_socket; }
    // The transaction log (JSON lines, see received()).
    QString logPath() const { return m_log; }

    // One command to the simulator; spins the event loop while waiting, as
    // the simulator may be calling into this process meanwhile.
    QJsonObject command(const QJsonObject &cmd, int timeoutMs = 20000)
    {
        QLocalSocket socket;
        socket.connectToServer(m_socket);
        if (!TestWorld::waitFor([&] { return socket.state() == QLocalSocket::ConnectedState; }, timeoutMs))
            return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no simulator socket")}};
        socket.write(QJsonDocument(cmd).toJson(QJsonDocument::Compact) + '\n');
        socket.flush();
        if (!TestWorld::waitFor([&] { return socket.canReadLine(); }, timeoutMs))
            return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), QStringLiteral("no answer")}};
        return QJsonDocument::fromJson(socket.readLine()).object();
    }

    // Transactions the simulator's services received, oldest first.
    QList<QJsonObject> received(const QString &service) const
    {
        QList<QJsonObject> lines;
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return lines;
        while (!f.atEnd()) {
            const QJsonObject o = QJsonDocument::fromJson(f.readLine()).object();
            if (o.value(QStringLiteral("service")).toString() == service && o.contains(QStringLiteral("code")))
                lines << o;
        }
        return lines;
    }

    // References this process holds on other processes' binder objects
    // of a device (kernel debugfs; the handle of the service manager
    // excluded). -1 when the kernel does not tell.
    static int remoteReferences(const QString &context = QStringLiteral("vororoveredi"))
    {
        if (!QFileInfo(QStringLiteral("/sys/kernel/debug/binder/proc")).isDir())
            return -1;
        // No entry: no binder device open, so no references either.
        QFile f(QStringLiteral("/sys/kernel/debug/binder/proc/%1").arg(QCoreApplication::applicationPid()));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        int refs = 0;
        bool inContext = false;
        for (const QByteArray &raw : f.readAll().split('\n')) {
            const QByteArray line = raw.trimmed();
            if (line.startsWith("context "))
                inContext = line.mid(8) == context.toLatin1();
            else if (inContext && line.startsWith("ref ") && !line.contains(" desc 0 "))
                ++refs;
        }
        return refs;
    }

    TestWorld world;

private:
    QString m_dir;
    QString m_socket;
    QString m_log;
    QString m_servicesFile;
};
