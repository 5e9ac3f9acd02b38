#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QStringList>
#include <QVariantMap>

// connman's D-Bus objects as far as ferry reads them, for tests and the
// demo, on a (private) system bus under "net.connman":
//
//   "/"  net.connman.Manager: GetProperties, GetServices, GetTechnologies;
//        signal ServicesChanged(a(oa{sv}) changed, ao removed) where changed
//        is the whole list in order, with properties for the services that
//        are new since the last announcement and empty ones for the rest.
//   "/net/connman/service/<id>"  net.connman.Service: GetProperties;
//        signal PropertyChanged(s name, v value).
//   "/net/connman/technology/wifi", ".../ethernet"  net.connman.Technology:
//        GetProperties (powered, not connected; nothing changes them).
//
// Services have whatever properties the test gives them, the phone OS's
// MaxRate (u), Frequency (q) and Hidden (b) included; the stand-in adds
// none and keeps them in the order they were added (connman's order puts
// connected services first; a test that wants that moves them).
//
// The control interface, path "/com/kestrel/ferry/ConnmanStandin",
// interface "com.kestrel.ferry.ConnmanStandin" (see connmanstandinclient.h
// for C++ callers):
//   AddService(s id, a{sv} properties) -> o   appends the service
//       "/net/connman/service/<id>" (id: letters, digits and '_') and
//       announces it; an id in use replaces that service's properties
//   RemoveService(s id)           announces it in the removed list
//   SetProperty(s id, s name, v value)   stores the value and sends the
//       service's PropertyChanged with it exactly as given (any type)
//   MoveService(s id, i index)    moves it to that place and announces the
//       new order
//   Reset()                       removes every service, announcing it
//   EmitSignal(o path, s interface, s member, av arguments)   sends that
//       signal with the arguments taken out of their variants, for data
//       connman would never send
// Errors come back as D-Bus errors "org.freedesktop.DBus.Error.InvalidArgs".
class ConnmanStandin : public QDBusVirtualObject
{
    Q_OBJECT

public:
    explicit ConnmanStandin(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ConnmanStandin() override;

    // Registers the objects and takes the name "net.connman".
    bool publish(QString *error);

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void handleManager(const QDBusMessage &message);
    void handleControl(const QDBusMessage &message);
    void reply(const QDBusMessage &call, const QVariantList &arguments = QVariantList());
    void replyError(const QDBusMessage &call, const QString &text);

    static QString servicePath(const QString &id);
    QVariant objectList(const QStringList &paths, const QHash<QString, QVariantMap> &properties) const;
    QVariantMap technology(const QString &path) const;
    void announce(const QStringList &removed = QStringList());

    QDBusConnection m_bus;
    QStringList m_order;
    QHash<QString, QVariantMap> m_services;
    // Services not announced yet with their properties.
    QStringList m_fresh;
};
