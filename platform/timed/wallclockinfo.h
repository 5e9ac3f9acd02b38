#pragma once

#include <QMetaType>
#include <QString>

namespace Maemo {
namespace Timed {
namespace WallClock {

// The host's wall-clock settings as far as this system needs them: the
// time zone.
class Info
{
public:
    Info() = default;
    explicit Info(const QString &timezone) : m_timezone(timezone) {}

    // The zone's name as the user knows it, e.g. "Europe/Helsinki"; empty
    // when unknown.
    QString humanReadableTz() const { return m_timezone; }
    bool isValid() const { return !m_timezone.isEmpty(); }

    bool operator==(const Info &other) const { return m_timezone == other.m_timezone; }
    bool operator!=(const Info &other) const { return !(*this == other); }

private:
    QString m_timezone;
};

} // namespace WallClock
} // namespace Timed
} // namespace Maemo

Q_DECLARE_METATYPE(Maemo::Timed::WallClock::Info)
