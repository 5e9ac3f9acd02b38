#include "networktechnology.h"

#include "connmanvalue_p.h"
#include "plaindbusvalue.h"

#include <QDBusConnection>

namespace {
const char *const kKept[] = {"Name", "Type", "Powered", "Connected"};
} // namespace

NetworkTechnology::NetworkTechnology(const QString &path, const QVariantMap &properties, QObject *parent)
    : QObject(parent), m_path(path)
{
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        updateProperty(it.key(), plainDBusValue(it.value()));
    QDBusConnection::systemBus().connect(ConnmanValue::serviceName(), m_path, ConnmanValue::technologyInterface(),
                                         QStringLiteral("PropertyChanged"), this,
                                         SLOT(onPropertyChanged(QDBusMessage)));
}

NetworkTechnology::~NetworkTechnology()
{
    QDBusConnection::systemBus().disconnect(ConnmanValue::serviceName(), m_path,
                                            ConnmanValue::technologyInterface(), QStringLiteral("PropertyChanged"),
                                            this, SLOT(onPropertyChanged(QDBusMessage)));
}

QString NetworkTechnology::name() const { return ConnmanValue::toText(m_properties.value(QStringLiteral("Name"))); }
QString NetworkTechnology::type() const { return ConnmanValue::toText(m_properties.value(QStringLiteral("Type"))); }
bool NetworkTechnology::powered() const { return ConnmanValue::toBool(m_properties.value(QStringLiteral("Powered"))); }
bool NetworkTechnology::connected() const
{
    return ConnmanValue::toBool(m_properties.value(QStringLiteral("Connected")));
}

void NetworkTechnology::onPropertyChanged(const QDBusMessage &message)
{
    QString name;
    QVariant value;
    if (ConnmanValue::propertyChange(message, &name, &value))
        updateProperty(name, value);
}

void NetworkTechnology::updateProperty(const QString &name, const QVariant &value)
{
    bool known = false;
    for (const char *kept : kKept)
        known = known || name == QLatin1String(kept);
    if (!known)
        return;
    const bool wasPowered = powered();
    const bool wasConnected = connected();
    m_properties.insert(name, value);
    if (powered() != wasPowered)
        emit poweredChanged(powered());
    if (connected() != wasConnected)
        emit connectedChanged(connected());
}
