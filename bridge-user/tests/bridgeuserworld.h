#pragma once

// The runtime simulator (through SimWorld) plus ferryd-bridge-user as a
// real process that loads the test plug-ins, and the means to drive them.

#include "dconfsession.h"
#include "simworld.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>

#include <memory>

class BridgeUserWorld
{
public:
    bool start(QString *error)
    {
        if (!sim.start(error))
            return false;
        m_dir = QStringLiteral("/tmp/ferry-bridge-user-%1").arg(QCoreApplication::applicationPid());
        QDir().mkpath(m_dir);
        // The orientation lock lives in a dconf database of the test's own.
        return dconf.start(sim.world.sessionBusAddress(), error);
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
        QFile::remove(sensorLog());
        m_bridge = sim.world.startProcess(QStringLiteral(FERRY_BRIDGE_USER_BIN), {},
                                          {QStringLiteral("QT_PLUGIN_PATH=" FERRY_TEST_PLUGIN_DIR),
                                           QStringLiteral("FERRY_TEST_POSITION_SOCKET=") + positionSocket(),
                                           QStringLiteral("FERRY_TEST_POSITION_LOG=") + positionLog(),
                                           QStringLiteral("FERRY_TEST_FEEDBACK_LOG=") + feedbackLog(),
                                           QStringLiteral("FERRY_TEST_SENSOR_SOCKET=") + sensorSocket(),
                                           QStringLiteral("FERRY_TEST_SENSOR_LOG=") + sensorLog(),
                                           QStringLiteral("XDG_CACHE_HOME=") + cacheDir(),
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

    // One line to the test sensors plug-in: how many started backends
    // emitted it (-1: no answer).
    int sensor(const QJsonObject &command, int timeoutMs = 5000)
    {
        QLocalSocket socket;
        socket.connectToServer(sensorSocket());
        if (!socket.waitForConnected(5000))
            return -1;
        socket.write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
        if (!socket.waitForBytesWritten(5000) || !socket.waitForReadyRead(timeoutMs))
            return -1;
        const QByteArray line = socket.readLine().trimmed();
        return line.startsWith("ok ") ? line.mid(3).toInt() : -1;
    }
    // What the sensors plug-in was asked: "QAccelerometer:start:50",
    // "QAccelerometer:stop".
    QStringList sensorRequests() const
    {
        QStringList list;
        for (const QJsonObject &o : jsonLines(sensorLog())) {
            QString entry = o.value(QStringLiteral("type")).toString() + ':' + o.value(QStringLiteral("event")).toString();
            if (o.contains(QStringLiteral("rate")))
                entry += ':' + QString::number(o.value(QStringLiteral("rate")).toInt());
            list << entry;
        }
        return list;
    }
    // The simulator's sensors client runs the steps; their results.
    QJsonArray sensors(const QJsonArray &steps, int timeoutMs = 20000)
    {
        return sim.command({{"cmd", "sensors"}, {"steps", steps}}, timeoutMs).value(QStringLiteral("results")).toArray();
    }
    // The same without waiting (a poll that is held): read the results
    // with sensorsResults().
    std::unique_ptr<QLocalSocket> sensorsAsync(const QJsonArray &steps)
    {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(sim.socketPath());
        if (socket->waitForConnected(5000)) {
            socket->write(QJsonDocument(QJsonObject{{"cmd", "sensors"}, {"steps", steps}}).toJson(QJsonDocument::Compact) + '\n');
            socket->flush();
        }
        return socket;
    }
    static bool hasAnswer(QLocalSocket *socket) { return socket->canReadLine(); }
    // Polls the sensors client has sent so far.
    int pollsSent() const
    {
        int polls = 0;
        for (const QJsonObject &line : sim.received(QStringLiteral("sensors-client")))
            polls += line.value(QStringLiteral("code")).toInt() == 4 ? 1 : 0;
        return polls;
    }
    static QJsonArray sensorsResults(QLocalSocket *socket, int timeoutMs = 10000)
    {
        if (!TestWorld::waitFor([&] { return socket->canReadLine(); }, timeoutMs))
            return {};
        return QJsonDocument::fromJson(socket->readLine()).object().value(QStringLiteral("results")).toArray();
    }
    // The host's setting, written as another program would.
    static bool setOrientationLock(const QString &value)
    {
        QProcess p;
        p.start(QStringLiteral("dconf"), {QStringLiteral("write"), QStringLiteral("/lipstick/orientationLock"),
                                          QLatin1Char('\'') + value + QLatin1Char('\'')});
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }
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
    QString sensorSocket() const { return m_dir + QStringLiteral("/sensor.sock"); }
    QString sensorLog() const { return m_dir + QStringLiteral("/sensor.log"); }
    QString cacheDir() const { return m_dir + QStringLiteral("/cache"); }

    SimWorld sim;
    DconfSession dconf;

private:
    QString m_dir;
    qint64 m_bridge = 0;
};
