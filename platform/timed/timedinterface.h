#pragma once

#include "wallclockinfo.h"

#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace Maemo {
namespace Timed {

// The host time service as seen by this system: systemd's
// "org.freedesktop.timedate1" on the system bus. The current settings come
// from its "Timezone" property; settings_changed follows its
// PropertiesChanged signal (a zone set through timedated; an /etc/localtime
// edited behind its back is not seen).
class Interface : public QObject
{
    Q_OBJECT
public:
    explicit Interface(QObject *parent = nullptr);
    ~Interface() override;

    // Connects settings_changed(const Maemo::Timed::WallClock::Info &, bool)
    // to the receiver's slot of that signature.
    bool settings_changed_connect(QObject *receiver, const char *slot);
    bool settings_changed_disconnect(QObject *receiver, const char *slot);

    // Blocking read of the current settings. Default settings (an empty zone)
    // when the service does not answer or answers with something else than
    // a string; *ok tells which.
    WallClock::Info get_wall_clock_info_sync(bool *ok = nullptr);

signals:
    // time_changed: whether the clock itself was set; the time zone service
    // does not report that, so it is false.
    void settings_changed(const Maemo::Timed::WallClock::Info &info, bool time_changed);

private slots:
    void onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                             const QStringList &invalidated);
};

} // namespace Timed
} // namespace Maemo
