#include "testsensorcontrol.h"

#include "testsensorbackend.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>

#include <algorithm>

namespace {
const qint64 kMaxLine = 64 * 1024;
const double kMaxStreamSeconds = 600;
} // namespace

TestSensorControl *TestSensorControl::instance()
{
    static TestSensorControl *control = new TestSensorControl;
    return control;
}

TestSensorControl::TestSensorControl()
    : QObject(QCoreApplication::instance())
{
    m_stream.setInterval(0);
    connect(&m_stream, &QTimer::timeout, this, &TestSensorControl::streamTick);
    const QString path = qEnvironmentVariable("FERRY_TEST_SENSOR_SOCKET");
    if (path.isEmpty())
        return;
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    if (!m_server->listen(path))
        qWarning("test sensors plug-in: cannot listen on %s", qPrintable(path));
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine())
                    execute(socket, QJsonDocument::fromJson(socket->readLine(kMaxLine)).object());
            });
        }
    });
}

void TestSensorControl::add(TestSensorBackend *backend)
{
    m_backends.append(backend);
}

void TestSensorControl::remove(TestSensorBackend *backend)
{
    m_backends.removeAll(backend);
}

int TestSensorControl::emitReading(const QJsonObject &command)
{
    const QByteArray type = command.value(QStringLiteral("type")).toString().toLatin1();
    int emitted = 0;
    // A slot may stop or delete a backend: walk a copy, check each.
    const QList<TestSensorBackend *> backends = m_backends;
    for (TestSensorBackend *backend : backends) {
        if (m_backends.contains(backend) && backend->type() == type && backend->isStarted()) {
            backend->emitReading(command);
            ++emitted;
        }
    }
    return emitted;
}

void TestSensorControl::execute(QLocalSocket *socket, const QJsonObject &command)
{
    if (command.contains(QStringLiteral("failStart"))) {
        m_failing.insert(command.value(QStringLiteral("failStart")).toString().toLatin1());
        socket->write("ok 0\n");
        return;
    }
    if (command.contains(QStringLiteral("stream"))) {
        m_streamCommand = command;
        m_streamMs = qint64(std::clamp(command.value(QStringLiteral("stream")).toDouble(), 0.0, kMaxStreamSeconds) * 1000);
        m_streamCount = 0;
        m_streamSocket = socket;
        m_streamClock.start();
        m_stream.start();
        return;
    }
    socket->write("ok " + QByteArray::number(emitReading(command)) + '\n');
}

void TestSensorControl::streamTick()
{
    if (m_streamClock.elapsed() >= m_streamMs) {
        m_stream.stop();
        if (m_streamSocket)
            m_streamSocket->write("ok " + QByteArray::number(m_streamCount) + '\n');
        return;
    }
    QJsonObject reading = m_streamCommand;
    reading.insert(QStringLiteral("x"), m_streamCount);
    m_streamCount += emitReading(reading) > 0 ? 1 : 0;
}

void TestSensorControl::record(const QByteArray &type, const char *event, int rate)
{
    const QString path = qEnvironmentVariable("FERRY_TEST_SENSOR_LOG");
    if (path.isEmpty())
        return;
    QJsonObject line{{QStringLiteral("type"), QString::fromLatin1(type)}, {QStringLiteral("event"), QLatin1String(event)}};
    if (rate >= 0)
        line.insert(QStringLiteral("rate"), rate);
    QFile file(path);
    if (file.open(QIODevice::Append))
        file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}
