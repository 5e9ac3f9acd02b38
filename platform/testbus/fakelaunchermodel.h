#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

// The host launcher's model for tests: serves "org.nemomobile.lipstick" at
// "/LauncherModel" (interface "org.nemomobile.lipstick.LauncherModel") and
// records the update calls it receives, in order, each as the method name
// followed by its arguments.
class FakeLauncherModel : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.nemomobile.lipstick.LauncherModel")

public:
    explicit FakeLauncherModel(const QDBusConnection &connection, QObject *parent = nullptr);
    ~FakeLauncherModel() override;
    bool isRegistered() const { return m_registered; }

    QList<QStringList> calls;

public slots:
    void updatingStarted(const QString &packageName, const QString &label, const QString &iconPath,
                         const QString &desktopFile);
    void updatingFinished(const QString &packageName);

private:
    QDBusConnection m_connection;
    bool m_registered = false;
};
