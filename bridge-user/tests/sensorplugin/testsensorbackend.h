#pragma once

#include <QJsonObject>
#include <QSensorBackend>

// One sensor of the test plug-in. Emits only while started; what it is
// asked (start with the data rate, stop) goes to the control's log.
class TestSensorBackend : public QSensorBackend
{
    Q_OBJECT
public:
    explicit TestSensorBackend(QSensor *sensor);
    ~TestSensorBackend() override;

    static QList<QByteArray> types();

    void start() override;
    void stop() override;

    QByteArray type() const;
    bool isStarted() const { return m_started; }
    // Sets the reading from the command's fields and emits it; the
    // timestamp is the boot-time clock in microseconds unless given.
    void emitReading(const QJsonObject &values);

private:
    bool m_started = false;
};
