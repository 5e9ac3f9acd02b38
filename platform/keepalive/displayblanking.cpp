#include "displayblanking.h"

#include <QDBusMessage>

DisplayBlanking::DisplayBlanking(QObject *parent)
    : DisplayBlanking(QDBusConnection::systemBus(), kRenewIntervalMs, parent)
{
}

DisplayBlanking::DisplayBlanking(const QDBusConnection &bus, int renewIntervalMs, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    m_renew.setInterval(renewIntervalMs);
    connect(&m_renew, &QTimer::timeout, this, [this] { request("req_display_blanking_pause"); });
}

DisplayBlanking::~DisplayBlanking()
{
    setPreventBlanking(false);
}

void DisplayBlanking::setPreventBlanking(bool prevent)
{
    if (prevent == m_prevent)
        return;
    m_prevent = prevent;
    if (prevent) {
        request("req_display_blanking_pause");
        m_renew.start();
    } else {
        m_renew.stop();
        request("req_display_cancel_blanking_pause");
    }
    emit preventBlankingChanged();
}

void DisplayBlanking::request(const char *method)
{
    // Sent without waiting: a slow or missing MCE must not stall the caller
    // (the bridge's only thread).
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("com.nokia.mce"),
                                                          QStringLiteral("/com/nokia/mce/request"),
                                                          QStringLiteral("com.nokia.mce.request"),
                                                          QString::fromLatin1(method));
    message.setAutoStartService(false);
    m_bus.send(message);
}
