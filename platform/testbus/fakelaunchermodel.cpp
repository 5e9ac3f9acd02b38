#include "fakelaunchermodel.h"

FakeLauncherModel::FakeLauncherModel(const QDBusConnection &connection, QObject *parent)
    : QObject(parent), m_connection(connection)
{
    m_registered = m_connection.registerObject("/LauncherModel", this, QDBusConnection::ExportAllSlots) &&
                   m_connection.registerService("org.nemomobile.lipstick");
}

FakeLauncherModel::~FakeLauncherModel()
{
    m_connection.unregisterService("org.nemomobile.lipstick");
    m_connection.unregisterObject("/LauncherModel");
}

void FakeLauncherModel::updatingStarted(const QString &packageName, const QString &label, const QString &iconPath,
                                        const QString &desktopFile)
{
    calls << QStringList{QStringLiteral("updatingStarted"), packageName, label, iconPath, desktopFile};
}

void FakeLauncherModel::updatingFinished(const QString &packageName)
{
    calls << QStringList{QStringLiteral("updatingFinished"), packageName};
}
