#include "desktoplocations.h"

#include "ferrydaemon.h"

namespace {

QString fromEnv(const char *name, const QString &fallback)
{
    const QByteArray value = qgetenv(name);
    return value.isEmpty() ? fallback : QString::fromLocal8Bit(value);
}

// Directories are joined with file names by plain concatenation.
QString asDir(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

} // namespace

QString DesktopLocations::defaultApplicationsDir()
{
    return QStringLiteral("/usr/share/applications/");
}

DesktopLocations DesktopLocations::fromEnvironment()
{
    DesktopLocations l;
    l.applicationsDir = asDir(fromEnv("FERRYD_APPLICATIONS_DIR", defaultApplicationsDir()));
    l.iconDir = asDir(fromEnv("FERRYD_ICON_DIR", QStringLiteral("/var/lib/ferryd/")));
    l.settingsEntriesDir =
        asDir(fromEnv("FERRYD_SETTINGS_ENTRIES_DIR", QStringLiteral("/usr/share/kestrel-settings/entries/")));
    l.sharingRegistry = fromEnv("FERRYD_SHARING_REGISTRY", QStringLiteral("/var/lib/ferryd/sharing.json"));
    l.desktopDatabaseTool =
        fromEnv("FERRYD_DESKTOP_DATABASE_TOOL", QStringLiteral("/usr/bin/update-desktop-database"));
    l.blacklistFiles << QStringLiteral("/etc/ferryd/app-blacklist");
    const QString extra = fromEnv("FERRYD_PACKAGE_BLACKLIST_PATH", QString());
    if (!extra.isEmpty())
        l.blacklistFiles << extra;
    l.partnerSpaceDir = asDir(FerryDaemon::partnerSpaceDir());
    return l;
}

bool DesktopLocations::usesSystemApplicationsDir() const
{
    return applicationsDir == defaultApplicationsDir();
}
