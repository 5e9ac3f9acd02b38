#include "novumtimezonemonitor.h"

#include "logging.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "timedinterface.h"

NovumTimezoneMonitor::NovumTimezoneMonitor(QObject *parent)
    : NovumBinderConnection(QStringLiteral("alarm"), QStringLiteral("android.app.IAlarmManager"), true, parent),
      m_timed(new Maemo::Timed::Interface(this))
{
    m_timed->settings_changed_connect(this, SLOT(settingsChanged(Maemo::Timed::WallClock::Info, bool)));
    m_lastTimezone = m_timed->get_wall_clock_info_sync().humanReadableTz();
    connect(this, &NovumBinderConnection::connectionChanged, this, &NovumTimezoneMonitor::onServiceConnectionChanged);
    // A runtime that is up already was connected while the base was built,
    // before anyone could listen: it gets the zone now.
    if (isConnected())
        onServiceConnectionChanged(true);
}

NovumTimezoneMonitor::~NovumTimezoneMonitor()
{
    // The base class reports its disconnection after this part is gone.
    disconnect(this, &NovumBinderConnection::connectionChanged, this, nullptr);
    m_timed->settings_changed_disconnect(this, SLOT(settingsChanged(Maemo::Timed::WallClock::Info, bool)));
}

void NovumTimezoneMonitor::settingsChanged(const Maemo::Timed::WallClock::Info &newInfo, bool time_changed)
{
    Q_UNUSED(time_changed);
    const QString timezone = newInfo.humanReadableTz();
    if (timezone != m_lastTimezone) {
        setNovumTimezone(timezone);
        m_lastTimezone = timezone;
    }
}

void NovumTimezoneMonitor::onServiceConnectionChanged(const bool connected)
{
    if (connected)
        setNovumTimezone(m_lastTimezone);
}

void NovumTimezoneMonitor::setNovumTimezone(const QString &timezone)
{
    if (!isConnected())
        return;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(kSetTimeZoneCode, false));
    if (!t)
        return;
    // Zone names are ASCII; anything else is narrowed as the runtime expects.
    t->writer().writeString(QString::fromLatin1(timezone.toLatin1()));
    const int status = t->execute();
    if (status != 0)
        qCWarning(lcDaemon) << "Failed to set novum timezone:" << status;
}
