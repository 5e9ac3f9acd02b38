#include "servicecontroller.h"

#include "logging.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>

namespace {

const char kSystemdService[] = "org.freedesktop.systemd1";
const char kSystemdPath[] = "/org/freedesktop/systemd1";
const char kManagerInterface[] = "org.freedesktop.systemd1.Manager";
const char kUnitInterface[] = "org.freedesktop.systemd1.Unit";
const char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
const char kUnitName[] = "rididirevov.service";

ServiceController *s_instance = nullptr;

} // namespace

ServiceController *ServiceController::instance()
{
    if (!s_instance)
        s_instance = new ServiceController;
    return s_instance;
}

ServiceController::ServiceController()
    : m_manager(new QDBusInterface(QLatin1String(kSystemdService), QLatin1String(kSystemdPath),
                                   QLatin1String(kManagerInterface),
                                   QDBusConnection::systemBus(), this))
{
    m_activeState = QString();

    // systemd only broadcasts unit property changes while someone is
    // subscribed.
    m_manager->call(QStringLiteral("Subscribe"));

    const QDBusReply<QDBusObjectPath> unit =
        m_manager->call(QStringLiteral("LoadUnit"), QLatin1String(kUnitName));
    if (!unit.isValid()) {
        qCCritical(lcService).noquote() << "Could not find Novum Dalvik service:" << unit.error().message();
        m_activeState = QStringLiteral("invalid");
        m_enabled = false;
        return;
    }
    m_unitPath = unit.value().path();

    // Listen before asking: a change that systemd makes between our GetAll
    // and the match rule would otherwise be lost, and the state would stay
    // stale until the next one. A change that the reply already contains
    // arrives once more afterwards and changes nothing.
    //
    // The changes come in on a system-bus connection of their own: Qt holds
    // back what the default connection receives until the event loop first
    // runs and may then deliver a later change before an earlier one, which
    // would leave a stale state ("activating" while the unit is active).
    QDBusConnection changes = QDBusConnection::connectToBus(QDBusConnection::SystemBus,
                                                            QStringLiteral("ferry-service-controller"));
    changes.connect(QLatin1String(kSystemdService), m_unitPath, QLatin1String(kPropertiesInterface),
                    QStringLiteral("PropertiesChanged"), this,
                    SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));

    QDBusMessage getAll = QDBusMessage::createMethodCall(
        QLatin1String(kSystemdService), m_unitPath, QLatin1String(kPropertiesInterface),
        QStringLiteral("GetAll"));
    getAll << QLatin1String(kUnitInterface);
    const QDBusReply<QVariantMap> props = QDBusConnection::systemBus().call(getAll);
    const QVariantMap map = props.isValid() ? props.value() : QVariantMap();

    m_activeState = map.value(QStringLiteral("ActiveState")).toString();
    qCDebug(lcService).noquote() << "Novum Dalvik is" << m_activeState
                                 << QStringLiteral("(%1)").arg(map.value(QStringLiteral("SubState")).toString());
    m_enabled = map.value(QStringLiteral("UnitFileState")).toString() == QLatin1String("enabled");

    emit serviceStateChanged();
}

ServiceController::~ServiceController() = default;

QString ServiceController::serviceState() const
{
    return m_activeState;
}

bool ServiceController::serviceEnabled() const
{
    return m_enabled;
}

void ServiceController::controlService(bool start)
{
    if (start) {
        if (m_activeState == QLatin1String("active") || m_activeState == QLatin1String("activating"))
            return;
        m_manager->asyncCall(QStringLiteral("StartUnit"), QLatin1String(kUnitName),
                             QStringLiteral("replace"));
    } else {
        if (m_activeState == QLatin1String("inactive") || m_activeState == QLatin1String("deactivating"))
            return;
        m_manager->asyncCall(QStringLiteral("StopUnit"), QLatin1String(kUnitName),
                             QStringLiteral("replace"));
    }
}

void ServiceController::controlServiceAutostart(bool enable)
{
    const QStringList files{QLatin1String(kUnitName)};
    if (enable)
        m_manager->asyncCall(QStringLiteral("EnableUnitFiles"), files, false, true);
    else
        m_manager->asyncCall(QStringLiteral("DisableUnitFiles"), files, false);
}

void ServiceController::onPropertiesChanged(const QString &interface, const QVariantMap &changed,
                                            const QStringList &invalidated)
{
    Q_UNUSED(invalidated);
    if (interface != QLatin1String(kUnitInterface))
        return;

    const auto unitFileState = changed.constFind(QStringLiteral("UnitFileState"));
    if (unitFileState != changed.constEnd()) {
        const bool enabled = *unitFileState == QVariant(QStringLiteral("enabled"));
        if (enabled != m_enabled) {
            m_enabled = enabled;
            emit serviceEnabledChanged();
        }
    }

    const auto activeState = changed.constFind(QStringLiteral("ActiveState"));
    if (activeState != changed.constEnd()) {
        const QString state = activeState->toString();
        qCDebug(lcService).noquote()
            << "Novum Dalvik is" << state
            << QStringLiteral("(%1)").arg(changed.value(QStringLiteral("SubState")).toString());
        if (state != m_activeState) {
            m_activeState = state;
            emit serviceStateChanged();
        }
    }
}
