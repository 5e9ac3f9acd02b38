#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>

class QLocalServer;
class QLocalSocket;
class TestSensorBackend;

// The test's hand on the plug-in's backends. One JSON object per line on
// the socket $FERRY_TEST_SENSOR_SOCKET, answered "ok <n>\n":
//   {"type":"QAccelerometer","x":1,"y":2,"z":3}      one reading to the
//       started backends of that type (n of them); also "lux", "pressure",
//       "close", "orientation" (Qt's enum), and "timestamp" (microseconds,
//       default the boot-time clock)
//   {"type":"QAccelerometer","stream":10}   readings as fast as the event
//       loop allows for that many seconds (x counts up); n readings
//   {"failStart":"QGyroscope"}              starting that type fails from now
// What the backends are asked goes to $FERRY_TEST_SENSOR_LOG, one JSON
// object per line: {"type":"QAccelerometer","event":"start","rate":50},
// {"type":"QAccelerometer","event":"stop"}.
class TestSensorControl : public QObject
{
    Q_OBJECT
public:
    static TestSensorControl *instance();
    static void record(const QByteArray &type, const char *event, int rate = -1);

    void add(TestSensorBackend *backend);
    void remove(TestSensorBackend *backend);
    bool failsToStart(const QByteArray &type) const { return m_failing.contains(type); }

private:
    TestSensorControl();
    int emitReading(const QJsonObject &command);
    void execute(QLocalSocket *socket, const QJsonObject &command);
    void streamTick();

    QLocalServer *m_server = nullptr;
    QList<TestSensorBackend *> m_backends;
    QSet<QByteArray> m_failing;

    QTimer m_stream;
    QElapsedTimer m_streamClock;
    qint64 m_streamMs = 0;
    int m_streamCount = 0;
    QJsonObject m_streamCommand;
    QPointer<QLocalSocket> m_streamSocket;
};
