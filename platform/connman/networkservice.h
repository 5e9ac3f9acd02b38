#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class NetworkManager;

// One service of the connection manager (a Wi-Fi network, the cellular
// data connection, a wired link): connman's "net.connman.Service" object.
// Its NetworkManager creates it, keeps its properties current from the
// bus and drops it when connman does; nobody else should keep it longer
// than the manager's next servicesChanged().
//
// Properties that connman omits, or sends with a type other than its own,
// read as empty, 0 or false. The phone's connman adds MaxRate (bit/s),
// Frequency (MHz) and Hidden to the upstream properties; without them they
// are 0 and false.
class NetworkService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path CONSTANT)
    Q_PROPERTY(QString name READ name NOTIFY nameChanged)
    Q_PROPERTY(QString state READ state NOTIFY stateChanged)
    Q_PROPERTY(QString type READ type NOTIFY typeChanged)
    Q_PROPERTY(bool connected READ connected NOTIFY connectedChanged)
    Q_PROPERTY(uint strength READ strength NOTIFY strengthChanged)
    Q_PROPERTY(quint32 maxRate READ maxRate NOTIFY maxRateChanged)
    Q_PROPERTY(quint16 frequency READ frequency NOTIFY frequencyChanged)
    Q_PROPERTY(bool hidden READ hidden NOTIFY hiddenChanged)
    Q_PROPERTY(QVariantMap ethernet READ ethernet NOTIFY ethernetChanged)
    Q_PROPERTY(QVariantMap ipv4 READ ipv4 NOTIFY ipv4Changed)
    Q_PROPERTY(QVariantMap ipv6 READ ipv6 NOTIFY ipv6Changed)
    Q_PROPERTY(QStringList nameservers READ nameservers NOTIFY nameserversChanged)

public:
    // properties: as connman reports them (D-Bus wrappers are taken off).
    NetworkService(const QString &path, const QVariantMap &properties, QObject *parent = nullptr);
    ~NetworkService() override;

    QString path() const { return m_path; }
    QString name() const { return m_name; }
    // "idle", "failure", "association", "configuration", "ready",
    // "disconnect" or "online".
    QString state() const { return m_state; }
    // "wifi", "ethernet", "cellular", "bluetooth", ...
    QString type() const { return m_type; }
    // The state is "ready" or "online".
    bool connected() const;
    // Signal strength, 0 to 100.
    uint strength() const { return m_strength; }
    // Bit/s of the link; 0 when not told.
    quint32 maxRate() const { return m_maxRate; }
    // MHz of the channel; 0 when not told.
    quint16 frequency() const { return m_frequency; }
    bool hidden() const { return m_hidden; }
    // "Interface", "Address" (the MAC), "MTU", ... of the link.
    QVariantMap ethernet() const { return m_ethernet; }
    // "Method", "Address", "Netmask", "Gateway" (IPv6 "PrefixLength" for
    // the netmask's length) of the current configuration.
    QVariantMap ipv4() const { return m_ipv4; }
    QVariantMap ipv6() const { return m_ipv6; }
    QStringList nameservers() const { return m_nameservers; }

signals:
    void nameChanged(const QString &name);
    void stateChanged(const QString &state);
    void typeChanged(const QString &type);
    void connectedChanged(bool connected);
    void strengthChanged(uint strength);
    void maxRateChanged(quint32 maxRate);
    void frequencyChanged(quint16 frequency);
    void hiddenChanged(bool hidden);
    void ethernetChanged(const QVariantMap &ethernet);
    void ipv4Changed(const QVariantMap &ipv4);
    void ipv6Changed(const QVariantMap &ipv6);
    void nameserversChanged(const QStringList &nameservers);

private:
    friend class NetworkManager;
    // One property as connman announced it; unknown names are ignored.
    void updateProperty(const QString &name, const QVariant &value);
    // A full set (GetServices): what is not in it is back to its default.
    void replaceProperties(const QVariantMap &properties);

    QString m_path;
    QString m_name;
    QString m_state;
    QString m_type;
    uint m_strength = 0;
    quint32 m_maxRate = 0;
    quint16 m_frequency = 0;
    bool m_hidden = false;
    QVariantMap m_ethernet;
    QVariantMap m_ipv4;
    QVariantMap m_ipv6;
    QStringList m_nameservers;
};
