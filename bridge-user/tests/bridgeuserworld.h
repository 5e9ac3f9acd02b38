#pragma once

// The runtime simulator (through SimWorld) plus ferryd-bridge-user as a
// real process that loads the test plug-ins, and the means to drive them.

#include "simworld.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>

class BridgeUserWorld
{
public:
    bool start(QString *error)
    {
        if (!sim.start(error))
            return false;
        m_dir = QStringLiteral("/tmp/ferry-bridge-user-%1").arg(QCoreApplication::applicationPid());
        QDir().mkpath(m_dir);
        return true;
    }

    void stop()
    {
        stopBridge();
        sim.stop();
        QDir(m_dir).removeRecursively();
    }

    // Starts the bridge; "QT_QPA_PLATFORM" is left unset on purpose (it
    // must pick a platform that needs no display by itself).
    bool startBridge()
    {
        QFile::remove(positionLog());
        QFile::remove(feedbackLog());
        m_bridge = sim.world.startProcess(QStringLiteral(FERRY_BRIDGE_USER_BIN), {},
                                          {QStringLiteral("QT_PLUGIN_PATH=" FERRY_TEST_PLUGIN_DIR),
                                           QStringLiteral("FERRY_TEST_POSITION_SOCKET=") + positionSocket(),
                                           QStringLiteral("FERRY_TEST_POSITION_LOG=") + positionLog(),
                                           QStringLiteral("FERRY_TEST_FEEDBACK_LOG=") + feedbackLog(),
                                           QStringLiteral("QT_LOGGING_RULES=com.kestrel.ferryd.*.debug=true")});
        return m_bridge != 0;
    }
    bool stopBridge()
    {
        if (!m_bridge)
            return true;
        const bool stopped = sim.world.stopProcess(m_bridge, 5000);
        return stopped;
    }
    qint64 bridgePid() const { return m_bridge; }

    bool isRegistered(const QString &name, const QString &device = QStringLiteral("/dev/hwvororoveredi"))
    {
        const QJsonObject answer = sim.command({{"cmd", "list"}, {"device", device}}, 5000);
        return answer.value(QStringLiteral("names")).toArray().contains(name);
    }
    bool waitRegistered(const QString &name, int timeoutMs = 10000)
    {
        return TestWorld::waitFor([&] { return isRegistered(name); }, timeoutMs);
    }

    // Calls a HAL of the bridge as Android would; answer of the simulator.
    QJsonObject callHal(const QString &service, const QString &interface, int code, const QJsonArray &args = {})
    {
        return sim.command({{"cmd", "call"}, {"device", "/dev/hwvororoveredi"}, {"service", service},
                            {"interface", interface}, {"code", code}, {"args", args}});
    }

    // One line to the test position plug-in; true once its sources emitted it.
    bool position(const QJsonObject &command)
    {
        QLocalSocket socket;
        socket.connectToServer(positionSocket());
        if (!socket.waitForConnected(5000))
            return false;
        socket.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        return socket.waitForBytesWritten(5000) && socket.waitForReadyRead(5000) && socket.readLine() == "ok\n";
    }
    QList<QJsonObject> positionRequests() const { return jsonLines(positionLog()); }
    // What the test feedback plug-in was asked, one string per request
    // ("duration=500", "state=running", "theme=4", ...).
    QStringList feedbackRequests() const
    {
        QStringList list;
        for (const QJsonObject &o : jsonLines(feedbackLog()))
            list << o.value(QStringLiteral("event")).toString() + '=' + o.value(QStringLiteral("value")).toVariant().toString();
        return list;
    }
    static QList<QJsonObject> jsonLines(const QString &path)
    {
        QList<QJsonObject> lines;
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            while (!f.atEnd())
                lines << QJsonDocument::fromJson(f.readLine()).object();
        }
        return lines;
    }

    QString positionSocket() const { return m_dir + QStringLiteral("/position.sock"); }
    QString positionLog() const { return m_dir + QStringLiteral("/position.log"); }
    QString feedbackLog() const { return m_dir + QStringLiteral("/feedback.log"); }

    SimWorld sim;

private:
    QString m_dir;
    qint64 m_bridge = 0;
};
