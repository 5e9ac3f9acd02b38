#include "timedinterface.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTimed, "com.kestrel.ferryd.timed", QtWarningMsg)

namespace Maemo {
namespace Timed {

namespace {
const char kService[] = "org.freedesktop.timedate1";
const char kPath[] = "/org/freedesktop/timedate1";
const char kInterface[] = "org.freedesktop.timedate1";
const char kProperties[] = "org.freedesktop.DBus.Properties";
const char kTimezone[] = "Timezone";
} // namespace

Interface::Interface(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<WallClock::Info>();
    QDBusConnection::systemBus().connect(kService, kPath, kProperties, "PropertiesChanged", this,
                                         SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
}

Interface::~Interface()
{
    QDBusConnection::systemBus().disconnect(kService, kPath, kProperties, "PropertiesChanged", this,
                                            SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
}

bool Interface::settings_changed_connect(QObject *receiver, const char *slot)
{
    return connect(this, SIGNAL(settings_changed(Maemo::Timed::WallClock::Info, bool)), receiver, slot);
}

bool Interface::settings_changed_disconnect(QObject *receiver, const char *slot)
{
    return disconnect(this, SIGNAL(settings_changed(Maemo::Timed::WallClock::Info, bool)), receiver, slot);
}

WallClock::Info Interface::get_wall_clock_info_sync(bool *ok)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kProperties, "Get");
    call << QString(kInterface) << QString(kTimezone);
    const QDBusMessage reply = QDBusConnection::systemBus().call(call);
    if (ok)
        *ok = false;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        qCWarning(lcTimed) << "Cannot read the time zone:" << reply.errorMessage();
        return WallClock::Info();
    }
    const QVariant value = reply.arguments().first().value<QDBusVariant>().variant();
    if (value.userType() != QMetaType::QString) {
        qCWarning(lcTimed) << "Time zone is not a string:" << value;
        return WallClock::Info();
    }
    if (ok)
        *ok = true;
    return WallClock::Info(value.toString());
}

void Interface::onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                    const QStringList &invalidated)
{
    if (interface != QLatin1String(kInterface))
        return;
    if (changed.contains(kTimezone)) {
        const QVariant value = changed.value(kTimezone);
        if (value.userType() == QMetaType::QString)
            emit settings_changed(WallClock::Info(value.toString()), false);
        return;
    }
    if (invalidated.contains(kTimezone)) {
        bool ok = false;
        const WallClock::Info info = get_wall_clock_info_sync(&ok);
        if (ok)
            emit settings_changed(info, false);
    }
}

} // namespace Timed
} // namespace Maemo
