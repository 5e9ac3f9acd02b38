#include "fakeresourcemanager.h"

#include <QMetaObject>
#include <QMutexLocker>

FakeResourceManager::FakeResourceManager(const QDBusConnection &connection, QObject *parent)
    : RecordingService(connection, QStringLiteral("org.maemo.resource.manager"),
                       QStringLiteral("/org/maemo/resource/manager"), parent)
{
}

void FakeResourceManager::setGranted(const QString &klass, bool granted)
{
    QMutexLocker lock(&m_setsMutex);
    m_granted.insert(klass, granted);
}

QString FakeResourceManager::classOf(uint id) const
{
    QMutexLocker lock(&m_setsMutex);
    return m_sets.value(id).klass;
}

void FakeResourceManager::grant(uint id, uint resources)
{
    QString owner;
    {
        QMutexLocker lock(&m_setsMutex);
        owner = m_sets.value(id).owner;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(owner, QStringLiteral("/org/maemo/resource/client/%1").arg(id),
                                                       QStringLiteral("org.maemo.resource.client"),
                                                       QStringLiteral("grant"));
    call << resources;
    call.setAutoStartService(false);
    m_connection.call(call, QDBus::NoBlock);
}

QDBusMessage FakeResourceManager::answer(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QVariantList args = message.arguments();
    const uint id = args.value(0).toUInt();
    if (message.member() == QLatin1String("register") && args.size() >= 5) {
        QMutexLocker lock(&m_setsMutex);
        m_sets.insert(id, {message.service(), args.value(1).toString(), args.value(2).toUInt()});
    } else if (message.member() == QLatin1String("unregister")) {
        QMutexLocker lock(&m_setsMutex);
        m_sets.remove(id);
    } else if (message.member() == QLatin1String("acquire")) {
        uint resources = 0;
        {
            QMutexLocker lock(&m_setsMutex);
            const Set set = m_sets.value(id);
            resources = m_granted.value(set.klass, true) ? set.mandatory : 0;
        }
        // After the request's own reply, as a manager deciding later would.
        QMetaObject::invokeMethod(this, [this, id, resources] { grant(id, resources); }, Qt::QueuedConnection);
    }
    return RecordingService::answer(message, connection);
}
