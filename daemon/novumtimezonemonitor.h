#pragma once

#include "novumbinderconnection.h"
#include "wallclockinfo.h"

namespace Maemo {
namespace Timed {
class Interface;
}
} // namespace Maemo

// Keeps the runtime's time zone (alarm service, setTimeZone) equal to the
// host's: on every host change of zone and whenever the runtime connects.
class NovumTimezoneMonitor : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumTimezoneMonitor(QObject *parent = nullptr);
    ~NovumTimezoneMonitor() override;

    static constexpr int kSetTimeZoneCode = 3;

public slots:
    void settingsChanged(const Maemo::Timed::WallClock::Info &newInfo, bool time_changed);
    void onServiceConnectionChanged(const bool connected);

private:
    void setNovumTimezone(const QString &timezone);

    Maemo::Timed::Interface *m_timed;
    QString m_lastTimezone;
};
