#include "recordingservice.h"

#include <QElapsedTimer>
#include <QMutexLocker>
#include <QThread>

RecordingService::RecordingService(const QDBusConnection &connection, const QString &service, const QString &path,
                                   QObject *parent)
    : QDBusVirtualObject(parent)
    , m_connection(connection)
    , m_service(service)
    , m_path(path)
{
    m_registered = m_connection.registerVirtualObject(path, this, QDBusConnection::SubPath)
        && m_connection.registerService(service);
}

RecordingService::~RecordingService()
{
    m_connection.unregisterService(m_service);
    m_connection.unregisterObject(m_path, QDBusConnection::UnregisterTree);
}

QList<RecordingService::Call> RecordingService::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QList<RecordingService::Call> RecordingService::calls(const QString &member) const
{
    QList<Call> result;
    for (const Call &call : calls())
        if (call.member == member)
            result.append(call);
    return result;
}

bool RecordingService::waitForCalls(const QString &member, int count, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    while (calls(member).size() < count) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

void RecordingService::clear()
{
    QMutexLocker lock(&m_mutex);
    m_calls.clear();
}

QString RecordingService::introspect(const QString &) const
{
    return QString();
}

bool RecordingService::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append({message.service(), message.path(), message.interface(), message.member(),
                        message.arguments()});
    }
    const QDBusMessage reply = answer(message, connection);
    if (!message.isReplyRequired() || message.isDelayedReply())
        return true;
    connection.send(reply);
    return true;
}

QDBusMessage RecordingService::answer(const QDBusMessage &message, const QDBusConnection &)
{
    return message.createReply();
}
