#include "faketimedate.h"

#include <QDBusMessage>
#include <QMetaObject>

FakeTimedate::FakeTimedate(const QDBusConnection &connection, const QString &timezone, QObject *parent)
    : QObject(parent), m_connection(connection), m_timezone(timezone)
{
    m_registered = m_connection.registerObject("/org/freedesktop/timedate1", this,
                                               QDBusConnection::ExportAllProperties) &&
                   m_connection.registerService("org.freedesktop.timedate1");
}

FakeTimedate::~FakeTimedate()
{
    m_connection.unregisterService("org.freedesktop.timedate1");
    m_connection.unregisterObject("/org/freedesktop/timedate1");
}

void FakeTimedate::setTimezone(const QString &timezone, bool announceAsInvalidated)
{
    QMetaObject::invokeMethod(
        this,
        [this, timezone, announceAsInvalidated] {
            m_timezone = timezone;
            QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/timedate1",
                                                             "org.freedesktop.DBus.Properties", "PropertiesChanged");
            QVariantMap changed;
            QStringList invalidated;
            if (announceAsInvalidated)
                invalidated << "Timezone";
            else
                changed.insert("Timezone", timezone);
            signal << QString("org.freedesktop.timedate1") << changed << invalidated;
            m_connection.send(signal);
        },
        Qt::QueuedConnection);
}
