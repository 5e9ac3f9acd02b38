#include "networkmanager.h"

#include "connmanvalue_p.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QLoggingCategory>
#include <QSet>

Q_LOGGING_CATEGORY(lcConnman, "com.kestrel.ferryd.connman", QtWarningMsg)

const QString NetworkManager::WifiTechnologyPath = QStringLiteral("/net/connman/technology/wifi");

namespace {
const QString kManagerPath = QStringLiteral("/");
} // namespace

NetworkManager::NetworkManager(QObject *parent) : QObject(parent)
{
    using namespace ConnmanValue;
    QDBusConnection bus = QDBusConnection::systemBus();
    m_watcher = new QDBusServiceWatcher(serviceName(), bus,
                                        QDBusServiceWatcher::WatchForRegistration
                                            | QDBusServiceWatcher::WatchForUnregistration,
                                        this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &NetworkManager::onServiceRegistered);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &NetworkManager::onServiceUnregistered);
    // One subscription for the list and one for every service's changes,
    // however many services there are.
    bus.connect(serviceName(), kManagerPath, managerInterface(), QStringLiteral("ServicesChanged"), this,
                SLOT(onServicesChanged(QDBusMessage)));
    bus.connect(serviceName(), QString(), serviceInterface(), QStringLiteral("PropertyChanged"), this,
                SLOT(onServicePropertyChanged(QDBusMessage)));
    requestServices();
}

NetworkManager::~NetworkManager()
{
    using namespace ConnmanValue;
    QDBusConnection bus = QDBusConnection::systemBus();
    bus.disconnect(serviceName(), kManagerPath, managerInterface(), QStringLiteral("ServicesChanged"), this,
                   SLOT(onServicesChanged(QDBusMessage)));
    bus.disconnect(serviceName(), QString(), serviceInterface(), QStringLiteral("PropertyChanged"), this,
                   SLOT(onServicePropertyChanged(QDBusMessage)));
}

QVector<NetworkService *> NetworkManager::getServices(const QString &type) const
{
    QVector<NetworkService *> list;
    for (const QString &path : m_order) {
        NetworkService *s = m_services.value(path);
        if (type.isEmpty() || s->type() == type)
            list << s;
    }
    return list;
}

NetworkService *NetworkManager::service(const QString &path) const
{
    return m_services.value(path);
}

void NetworkManager::requestServices()
{
    using namespace ConnmanValue;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(serviceName(), kManagerPath, managerInterface(), QStringLiteral("GetServices"));
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(call), this);
    watcher->setProperty("generation", m_generation);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &NetworkManager::onServicesReply);
}

void NetworkManager::onServiceRegistered()
{
    qCDebug(lcConnman) << "connman appeared";
    requestServices();
}

void NetworkManager::onServiceUnregistered()
{
    qCDebug(lcConnman) << "connman left the bus";
    ++m_generation;
    const bool hadServices = !m_order.isEmpty();
    removeServices(m_order);
    setAvailable(false);
    if (hadServices)
        emit servicesChanged();
    updateConnectedWifi();
}

void NetworkManager::onServicesReply(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    if (watcher->property("generation").toULongLong() != m_generation)
        return;
    const QDBusMessage reply = watcher->reply();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qCDebug(lcConnman) << "no services:" << reply.errorMessage();
        return;
    }
    if (reply.signature() != QLatin1String("a(oa{sv})")) {
        qCWarning(lcConnman) << "GetServices answered" << reply.signature();
        return;
    }
    // The answer is the whole list as it is now.
    const QList<ConnmanValue::ObjectEntry> entries = ConnmanValue::objectList(reply.arguments().at(0));
    QStringList ordered;
    QSet<QString> listed;
    for (const ConnmanValue::ObjectEntry &entry : entries) {
        ordered << entry.first;
        listed.insert(entry.first);
        if (NetworkService *s = m_services.value(entry.first))
            s->replaceProperties(entry.second);
        else
            m_services.insert(entry.first, new NetworkService(entry.first, entry.second, this));
    }
    QStringList gone;
    for (const QString &path : qAsConst(m_order)) {
        if (!listed.contains(path))
            gone << path;
    }
    removeServices(gone);
    reorder(ordered);
    setAvailable(true);
    emit servicesChanged();
    updateConnectedWifi();
}

void NetworkManager::onServicesChanged(const QDBusMessage &message)
{
    if (message.signature() != QLatin1String("a(oa{sv})ao")) {
        qCWarning(lcConnman) << "ServicesChanged with" << message.signature() << "ignored";
        return;
    }
    const QList<QVariant> arguments = message.arguments();
    const QStringList removed = ConnmanValue::pathList(arguments.at(1));
    const QList<ConnmanValue::ObjectEntry> changed = ConnmanValue::objectList(arguments.at(0));
    removeServices(removed);
    QStringList ordered;
    for (const ConnmanValue::ObjectEntry &entry : changed) {
        ordered << entry.first;
        if (NetworkService *s = m_services.value(entry.first)) {
            for (auto it = entry.second.cbegin(); it != entry.second.cend(); ++it)
                s->updateProperty(it.key(), it.value());
        } else if (m_services.size() < ConnmanValue::MaxObjects) {
            m_services.insert(entry.first, new NetworkService(entry.first, entry.second, this));
        } else {
            qCWarning(lcConnman) << "more than" << ConnmanValue::MaxObjects << "services; ignoring" << entry.first;
        }
    }
    reorder(ordered);
    emit servicesChanged();
    updateConnectedWifi();
}

void NetworkManager::onServicePropertyChanged(const QDBusMessage &message)
{
    NetworkService *s = m_services.value(message.path());
    QString name;
    QVariant value;
    if (!s || !ConnmanValue::propertyChange(message, &name, &value))
        return;
    s->updateProperty(name, value);
    updateConnectedWifi();
}

void NetworkManager::setAvailable(bool available)
{
    if (m_available == available)
        return;
    m_available = available;
    emit availabilityChanged(available);
}

void NetworkManager::reorder(const QStringList &ordered)
{
    QStringList order;
    QSet<QString> placed;
    for (const QString &path : ordered) {
        if (m_services.contains(path) && !placed.contains(path)) {
            order << path;
            placed.insert(path);
        }
    }
    for (const QString &path : qAsConst(m_order)) {
        if (m_services.contains(path) && !placed.contains(path)) {
            order << path;
            placed.insert(path);
        }
    }
    m_order = order;
}

void NetworkManager::removeServices(const QStringList &paths)
{
    QList<NetworkService *> dropped;
    for (const QString &path : paths) {
        if (NetworkService *s = m_services.take(path)) {
            m_order.removeOne(path);
            dropped << s;
        }
    }
    // Deleted from the event loop: whoever holds the connected service
    // hears of its loss (updateConnectedWifi) while it still exists.
    for (NetworkService *s : dropped)
        s->deleteLater();
}

void NetworkManager::updateConnectedWifi()
{
    NetworkService *found = nullptr;
    for (const QString &path : qAsConst(m_order)) {
        NetworkService *s = m_services.value(path);
        if (s->type() == QLatin1String("wifi") && s->connected()) {
            found = s;
            break;
        }
    }
    if (m_connectedWifi == found)
        return;
    m_connectedWifi = found;
    emit connectedWifiChanged();
}
