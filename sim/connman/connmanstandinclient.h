#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

// Drives a running ferry-connman-standin over its control interface (see
// connmanstandin.h) from tests and the demo:
//
//     ConnmanStandinClient connman(bus);   // any connection to its bus
//     connman.addService("wifi_home", ConnmanStandinClient::wifi("Home", "online"));
//     connman.setProperty("wifi_home", "Strength", QVariant::fromValue(uchar(70)));
//     connman.removeService("wifi_home");
//
// Every call blocks until the stand-in has sent the signals it causes and
// answered; false (with lastError()) when it refused or did not answer.
class ConnmanStandinClient
{
public:
    explicit ConnmanStandinClient(const QDBusConnection &bus);

    // A Wi-Fi service as the phone's connman shows one: Type "wifi", the
    // name and state, Strength 70 (y), MaxRate 72 Mbit/s (u), Frequency
    // 5180 MHz (q), Hidden false, an Ethernet Address, IPv4 and IPv6
    // settings and one name server. Tests change what they need.
    static QVariantMap wifi(const QString &name, const QString &state);

    bool addService(const QString &id, const QVariantMap &properties);
    bool removeService(const QString &id);
    // value is sent as it is: a QVariant of uchar goes out as "y", of
    // QString as "s", a QVariantMap as "a{sv}".
    bool setProperty(const QString &id, const QString &name, const QVariant &value);
    bool moveService(const QString &id, int index);
    bool reset();
    // Each argument goes out as its own type; wrap one in QDBusVariant to
    // send a "v".
    bool emitSignal(const QString &path, const QString &interface, const QString &member,
                    const QVariantList &arguments);
    // The object path of a service id.
    static QString servicePath(const QString &id);

    QString lastError() const { return m_error; }

private:
    bool call(const QString &member, const QVariantList &arguments);

    QDBusConnection m_bus;
    QString m_error;
};
