#pragma once

// A dconf database of the test's own: a private profile and config and
// runtime directories, and the dconf service on a session bus the caller
// gives. Set up before this process first touches dconf (the client reads
// the environment once).

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "testworld.h"

class DconfSession
{
public:
    static constexpr const char *kService = "/usr/libexec/dconf-service";

    // Points this process (and what it starts later) at the private
    // database on the bus at busAddress.
    bool start(const QString &busAddress, QString *error)
    {
        if (!m_dir.isValid()) {
            *error = QStringLiteral("no temporary directory");
            return false;
        }
        const QString runtime = m_dir.filePath(QStringLiteral("run"));
        QDir().mkpath(runtime);
        QDir().mkpath(m_dir.filePath(QStringLiteral("config")));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile profile(m_dir.filePath(QStringLiteral("profile")));
        if (!profile.open(QIODevice::WriteOnly) || profile.write("user-db:user\n") < 0) {
            *error = QStringLiteral("cannot write the dconf profile");
            return false;
        }
        profile.close();
        qputenv("DBUS_SESSION_BUS_ADDRESS", busAddress.toUtf8());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        qputenv("DCONF_PROFILE", QFile::encodeName(profile.fileName()));

        // A private bus activates nothing: the service is started here.
        m_service.setProgram(QString::fromLatin1(kService));
        m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_service.start();
        if (!m_service.waitForStarted(5000)) {
            *error = QStringLiteral("cannot start %1").arg(QLatin1String(kService));
            return false;
        }
        QDBusConnection bus = QDBusConnection::connectToBus(busAddress, QStringLiteral("dconf-session-check"));
        const bool up = TestWorld::waitFor(
            [&] { return bus.interface()->isServiceRegistered(QStringLiteral("ca.desrt.dconf")).value(); }, 10000);
        QDBusConnection::disconnectFromBus(QStringLiteral("dconf-session-check"));
        if (!up)
            *error = QStringLiteral("the dconf service did not appear on the bus");
        return up;
    }

    ~DconfSession()
    {
        m_service.terminate();
        if (!m_service.waitForFinished(3000))
            m_service.kill();
        m_service.waitForFinished(3000);
    }

    // The database file the service writes.
    QString databasePath() const { return m_dir.filePath(QStringLiteral("config/dconf/user")); }

private:
    QTemporaryDir m_dir;
    QProcess m_service;
};
