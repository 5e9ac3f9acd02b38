#include "commandserver.h"

#include "audiohalcommand.h"
#include "callcommand.h"
#include "childcommand.h"
#include "launcherreporter.h"
#include "notifycommand.h"
#include "simruntime.h"
#include "wifistack.h"

#include <ferry/binder/service_manager.h>

#include <QJsonArray>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

namespace {
// A command line longer than this is not a command.
const qint64 kMaxLine = 1024 * 1024;

QJsonObject ok()
{
    return {{QStringLiteral("ok"), true}};
}

QJsonObject failure(const QString &error)
{
    return {{QStringLiteral("ok"), false}, {QStringLiteral("error"), error}};
}

// Reports the given installed packages (default: all) to the host's
// launcher service, then code 2 unless "complete" is false.
QJsonObject reportLaunchers(const QJsonObject &command)
{
    QStringList packages = LauncherReporter::installedPackages();
    if (command.contains(QStringLiteral("packages")))
        packages = command.value(QStringLiteral("packages")).toVariant().toStringList();
    QElapsedTimer timer;
    timer.start();
    const int calls = LauncherReporter::report(packages, command.value(QStringLiteral("complete")).toBool(true));
    if (calls < 0)
        return failure(QStringLiteral("novum.launcher is not registered"));
    QJsonObject answer = ok();
    answer.insert(QStringLiteral("calls"), calls);
    answer.insert(QStringLiteral("ms"), double(timer.nsecsElapsed()) / 1e6);
    return answer;
}
} // namespace

CommandServer::CommandServer(SimRuntime *runtime, QObject *parent)
    : QObject(parent)
    , m_runtime(runtime)
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &CommandServer::onNewConnection);
}

bool CommandServer::listen(const QString &path, QString *error)
{
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::WorldAccessOption);
    if (!m_server->listen(path)) {
        *error = m_server->errorString();
        return false;
    }
    return true;
}

void CommandServer::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void CommandServer::onReadyRead(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine(kMaxLine).trimmed();
        if (line.isEmpty())
            continue;
        QPointer<QLocalSocket> guard(socket);
        const Answer answer = [guard](const QJsonObject &reply) {
            if (!guard)
                return;
            guard->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
            guard->flush();
        };
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
        if (!doc.isObject()) {
            answer(failure(QStringLiteral("not a JSON object: %1").arg(parseError.errorString())));
            continue;
        }
        dispatch(doc.object(), answer);
    }
    if (socket->bytesAvailable() > kMaxLine) {
        socket->write(QJsonDocument(failure(QStringLiteral("line too long"))).toJson(QJsonDocument::Compact) + '\n');
        socket->disconnectFromServer();
    }
}

void CommandServer::dispatch(const QJsonObject &command, Answer answer)
{
    const QString cmd = command.value(QStringLiteral("cmd")).toString();
    const QString service = command.value(QStringLiteral("service")).toString();
    const auto done = [answer](bool success, const QString &error) {
        answer(success ? ok() : failure(error));
    };

    if (cmd == QLatin1String("ping")) {
        answer(ok());
    } else if (cmd == QLatin1String("info")) {
        QJsonObject reply = m_runtime->info();
        reply.insert(QStringLiteral("ok"), true);
        answer(reply);
    } else if (cmd == QLatin1String("publish")) {
        m_runtime->publish(service, done);
    } else if (cmd == QLatin1String("withdraw")) {
        m_runtime->withdraw(service, done);
    } else if (cmd == QLatin1String("kill-remote")) {
        m_runtime->killRemote(service, command.value(QStringLiteral("republish")).toBool(), done);
    } else if (cmd == QLatin1String("list")) {
        const QString device = command.value(QStringLiteral("device")).toString(QStringLiteral("/dev/vororoveredi"));
        const auto manager = m_runtime->serviceManager(device);
        if (!manager) {
            answer(failure(QStringLiteral("no service manager on %1").arg(device)));
            return;
        }
        QJsonArray names;
        for (const std::string &name : manager->listSync())
            names.append(QString::fromStdString(name));
        QJsonObject reply = ok();
        reply.insert(QStringLiteral("names"), names);
        answer(reply);
    } else if (cmd == QLatin1String("report-launchers")) {
        answer(reportLaunchers(command));
    } else if (cmd == QLatin1String("call")) {
        answer(executeCall(*m_runtime, command));
    } else if (cmd == QLatin1String("notify")) {
        answer(executeNotify(*m_runtime, command));
    } else if (cmd == QLatin1String("audio-hal") || cmd == QLatin1String("audio-play")) {
        runAudioHalCommand(this, command, answer);
    } else if (cmd == QLatin1String("sensors")) {
        runChildCommand(this, QStringLiteral("--sensors"), QStringLiteral("sensors client"), command, answer);
    } else if (cmd == QLatin1String("wifi")) {
        // A child's callbacks die with it; the simulator's own stay.
        if (command.value(QStringLiteral("child")).toBool())
            runChildCommand(this, QStringLiteral("--wifi"), QStringLiteral("wifi client"), command, answer);
        else
            answer(WifiStack::instance().run(command));
    } else if (cmd == QLatin1String("restart-manager")) {
        m_runtime->restartManager(command.value(QStringLiteral("device")).toString(QStringLiteral("/dev/vndvororoveredi")),
                                  command.value(QStringLiteral("downMs")).toInt(), done);
    } else if (cmd == QLatin1String("exit")) {
        answer(ok());
        emit exitRequested();
    } else {
        answer(failure(QStringLiteral("unknown command %1").arg(cmd)));
    }
}
