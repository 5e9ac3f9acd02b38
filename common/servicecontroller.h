#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QDBusInterface;

// Watches and controls the Android runtime's systemd unit
// ("rididirevov.service") for the whole process.
//
// serviceState is systemd's ActiveState string as reported ("active",
// "activating", "inactive", "deactivating", "failed", ...), "invalid" when
// systemd does not know the unit, empty until known. There is deliberately
// no enumeration: systemd may add states, and readers compare strings.
//
// The first call of instance() talks to systemd synchronously; every later
// change arrives as a signal from the event loop. Main thread only.
class ServiceController : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString serviceState READ serviceState NOTIFY serviceStateChanged)
    Q_PROPERTY(bool serviceEnabled READ serviceEnabled NOTIFY serviceEnabledChanged)

public:
    // The process-wide controller, created on first call; lives until exit.
    static ServiceController *instance();

    QString serviceState() const;
    bool serviceEnabled() const;

    // Starts (true) or stops (false) the unit unless it is already in or
    // heading for that state. Does not wait for systemd; the outcome shows
    // as serviceStateChanged.
    void controlService(bool start);
    // Enables (true) or disables (false) starting the unit at boot. Does not
    // wait for systemd.
    void controlServiceAutostart(bool enable);

signals:
    void serviceStateChanged();
    void serviceEnabledChanged();

private slots:
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                             const QStringList &invalidated);

private:
    ServiceController();
    ~ServiceController() override;

    QDBusInterface *m_manager = nullptr;
    QString m_unitPath;
    QString m_activeState;
    bool m_enabled = false;
};
