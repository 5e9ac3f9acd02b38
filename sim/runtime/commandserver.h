#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;
class SimRuntime;

// Commands on a UNIX socket: one JSON object per line in, one JSON object
// per line out, in order (see README.md).
class CommandServer : public QObject
{
    Q_OBJECT

public:
    CommandServer(SimRuntime *runtime, QObject *parent = nullptr);
    bool listen(const QString &path, QString *error);

signals:
    void exitRequested();

private:
    using Answer = std::function<void(const QJsonObject &)>;

    void onNewConnection();
    void onReadyRead(QLocalSocket *socket);
    void dispatch(const QJsonObject &command, Answer answer);

    SimRuntime *m_runtime;
    QLocalServer *m_server;
};
