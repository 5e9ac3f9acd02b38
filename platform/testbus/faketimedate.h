#pragma once

#include <QDBusConnection>
#include <QObject>

// systemd's time zone service for tests: serves the "Timezone" property of
// "org.freedesktop.timedate1" and announces changes the way timedated does.
class FakeTimedate : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.timedate1")
    Q_PROPERTY(QString Timezone READ timezone)

public:
    FakeTimedate(const QDBusConnection &connection, const QString &timezone, QObject *parent = nullptr);
    ~FakeTimedate() override;
    bool isRegistered() const { return m_registered; }

    QString timezone() const { return m_timezone; }
    // Changes the zone and sends PropertiesChanged (from the object's thread).
    void setTimezone(const QString &timezone, bool announceAsInvalidated = false);

private:
    QDBusConnection m_connection;
    QString m_timezone;
    bool m_registered = false;
};
