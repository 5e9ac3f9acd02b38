#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

// Keeps the display from blanking while preventBlanking is set, as the
// host's keepalive library does: MCE grants a blanking pause of a limited
// time on "req_display_blanking_pause", so the request is repeated while
// preventing, and "req_display_cancel_blanking_pause" ends it. Destroying
// the object ends the prevention.
class DisplayBlanking : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool preventBlanking READ preventBlanking WRITE setPreventBlanking NOTIFY preventBlankingChanged)
public:
    // MCE's pause lasts 60 s; renewing well before it ends keeps the
    // display on without a gap.
    static constexpr int kRenewIntervalMs = 45000;

    explicit DisplayBlanking(QObject *parent = nullptr);
    DisplayBlanking(const QDBusConnection &bus, int renewIntervalMs, QObject *parent = nullptr);
    ~DisplayBlanking() override;

    bool preventBlanking() const { return m_prevent; }
    void setPreventBlanking(bool prevent);

signals:
    void preventBlankingChanged();

private:
    void request(const char *method);

    QDBusConnection m_bus;
    QTimer m_renew;
    bool m_prevent = false;
};
