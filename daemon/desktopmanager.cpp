#include "desktopmanager.h"

#include "appblacklist.h"
#include "datapath.h"
#include "desktopfile.h"
#include "filereplace.h"
#include "launchernames.h"
#include "logging.h"
#include "settingsentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

namespace {

const int kDesktopDatabaseTimeoutMs = 30000;

bool sameActivity(const ApkLauncher &a, const ApkLauncher &b)
{
    return a.packageName == b.packageName && a.className == b.className;
}

} // namespace

DesktopManager::DesktopManager(const QString &dataRoot, QObject *parent)
    : DesktopManager(dataRoot, DesktopLocations::fromEnvironment(), parent)
{
}

DesktopManager::DesktopManager(const QString &dataRoot, const DesktopLocations &locations, QObject *parent)
    : QObject(parent)
    , m_locations(locations)
    , m_blacklist(AppBlacklist::read(locations.blacklistFiles))
    , m_dataRoot(dataRoot)
    , m_sharing(locations.sharingRegistry)
{
    qRegisterMetaType<ApkLauncher>("ApkLauncher");
    m_sharing.start();
    if (!QDir().mkpath(m_locations.iconDir))
        qCWarning(lcLauncher) << "Cannot create directory:" << m_locations.iconDir;
}

QString DesktopManager::applicationsDir()
{
    return DesktopLocations::fromEnvironment().applicationsDir;
}

// ---- queries ----

QMap<QString, QStringList> DesktopManager::desktopEntriesByPackage() const
{
    QMap<QString, QStringList> result;
    const QDir dir(m_locations.applicationsDir);
    const QStringList names = dir.entryList({QStringLiteral("ferryd_launcher_*.desktop"),
                                             QStringLiteral("ferryd_handler_*.desktop")},
                                            QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = m_locations.applicationsDir + name;
        const QString package = DesktopFile::load(path).value(QStringLiteral("X-ferryd-packageName"));
        if (!package.isEmpty())
            result[package] << path;
    }
    return result;
}

QString DesktopManager::packageForDesktopEntry(const QString &path) const
{
    const QMap<QString, QStringList> entries = desktopEntriesByPackage();
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (it.value().contains(path))
            return it.key();
    }
    return path;
}

QString DesktopManager::appDisplayName(const QString &package) const
{
    const QStringList entries = desktopEntriesByPackage().value(package);
    if (entries.isEmpty())
        return package;
    return DesktopFile::load(entries.first()).value(QStringLiteral("Name"));
}

QStringList DesktopManager::allDesktopEntries() const
{
    QStringList all;
    const QMap<QString, QStringList> entries = desktopEntriesByPackage();
    for (const QStringList &list : entries)
        all << list;
    return all;
}

QString DesktopManager::desktopEntryPath(const ApkLauncher &launcher) const
{
    if (!LauncherNames::isValidPackageName(launcher.packageName) ||
        !LauncherNames::isValidClassName(launcher.className))
        return QString();
    return LauncherNames::childPath(m_locations.applicationsDir, LauncherNames::desktopEntryFileName(launcher));
}

QString DesktopManager::iconPath(const QString &desktopEntryPath) const
{
    return LauncherNames::childPath(m_locations.iconDir,
                                    QFileInfo(desktopEntryPath).completeBaseName() + QStringLiteral(".png"));
}

QString DesktopManager::settingsEntryPath(const QString &desktopEntryPath) const
{
    return SettingsEntry::path(m_locations.settingsEntriesDir, desktopEntryPath);
}

bool DesktopManager::isBlacklisted(const QString &package) const
{
    return m_blacklist.contains(package);
}

// ---- events ----

void DesktopManager::onCreateLauncher(ApkLauncher launcher)
{
    const QString rejection = LauncherNames::rejection(launcher);
    const QString path = rejection.isEmpty() ? desktopEntryPath(launcher) : QString();
    const QString icon = path.isEmpty() ? QString() : iconPath(path);
    if (!rejection.isEmpty() || path.isEmpty() || icon.isEmpty()) {
        qCWarning(lcLauncher) << "Dropping launcher" << launcher.packageName << launcher.className << ":"
                              << (rejection.isEmpty() ? QStringLiteral("names too long for a file name") : rejection);
        return;
    }
    const bool existed = QFileInfo::exists(path);
    qCDebug(lcLauncher) << "onCreateLauncher:" << path;

    for (int i = m_launchers.size() - 1; i >= 0; --i) {
        if (sameActivity(m_launchers.at(i), launcher))
            m_launchers.removeAt(i);
    }

    const bool blacklisted = isBlacklisted(launcher.packageName);
    if (blacklisted && launcher.isHandler())
        return;

    {
        DesktopFile file(path);
        file.setValue(QStringLiteral("Version"), QStringLiteral("1.0"));
        file.setValue(QStringLiteral("Type"), QStringLiteral("Application"));
        file.setValue(QStringLiteral("Name"), launcher.label);
        if (blacklisted || launcher.isHandler())
            file.setValue(QStringLiteral("NoDisplay"), QStringLiteral("true"));
        else
            file.remove(QStringLiteral("NoDisplay"));
        file.setValue(QStringLiteral("X-ferryd-apkfile"),
                      QStringLiteral("%1/%2.apk").arg(dataPath(m_dataRoot, AppDir), launcher.packageName));
        file.setValue(QStringLiteral("X-ferryd-packageName"), launcher.packageName);
        if (launcher.mimeTypes.isEmpty())
            file.remove(QStringLiteral("MimeType"));
        else
            file.setValue(QStringLiteral("MimeType"), launcher.mimeTypes.join(QLatin1Char(';')));
        file.remove(QStringLiteral("X-Nemo-Single-Instance"));
        file.setValue(QStringLiteral("X-Nemo-Application-Type"), QStringLiteral("no-invoker"));
        const QString exec = launcher.mimeTypes.isEmpty() ? QStringLiteral("%1 %2.apk %2/%3")
                                                          : QStringLiteral("%1 -d %U %2.apk %2/%3");
        file.setValue(QStringLiteral("Exec"), exec.arg(QStringLiteral("ferryd-launcher"), launcher.packageName,
                                                       launcher.className));

        writeIcon(launcher, icon, !existed);
        file.setValue(QStringLiteral("Icon"), icon);

        if (isPartnerSpacePackage(launcher.packageName)) {
            file.setValue(QStringLiteral("NoDisplay"), QStringLiteral("true"));
            file.setValue(QStringLiteral("Categories"), QStringLiteral("X-HalcyonPartnerSpace"));
        }

        if (launcher.isHandler()) {
            if (!launcher.shareMimeTypes.isEmpty())
                m_sharing.addShareTarget(launcher, icon);
        } else {
            writeSettingsEntry(path, launcher.packageName, launcher.version);
        }
    }

    m_launchers.append(launcher);
    if (!existed)
        emit newApplicationInstalled(launcher);
}

void DesktopManager::writeIcon(const ApkLauncher &launcher, const QString &path, bool entryIsNew)
{
    qCDebug(lcLauncher) << "iconfilename:" << path;
    if (launcher.icon.size() > kMaxIconBytes) {
        qCWarning(lcLauncher) << "Icon of" << launcher.packageName << launcher.className << "has"
                              << launcher.icon.size() << "bytes, more than" << kMaxIconBytes
                              << "; keeping the earlier icon:" << path;
        return;
    }
    if (!entryIsNew && fileHasContent(path, launcher.icon))
        return;
    if (replaceFile(path, launcher.icon) != ReplaceResult::Written)
        qCWarning(lcLauncher) << "Unable to write icon:" << path;
}

bool DesktopManager::isPartnerSpacePackage(const QString &package) const
{
    static const QRegularExpression versionSuffix(QStringLiteral("-\\d+\\.apk$"));
    const QString wanted = package + QStringLiteral(".apk");
    const QStringList markers = QDir(m_locations.partnerSpaceDir).entryList(QDir::Files | QDir::Hidden);
    for (QString name : markers) {
        name.replace(versionSuffix, QStringLiteral(".apk"));
        if (name == wanted)
            return true;
    }
    return false;
}

void DesktopManager::writeSettingsEntry(const QString &desktopEntryPath, const QString &package,
                                        const QString &version)
{
    const QString path = settingsEntryPath(desktopEntryPath);
    if (path.isEmpty())
        return;
    QDir().mkpath(m_locations.settingsEntriesDir);
    SettingsEntry::write(path, SettingsEntry::document(desktopEntryPath, package, version));
}

void DesktopManager::onRemovePackage(const QString &package)
{
    qCDebug(lcLauncher) << "onRemovePackage:" << package;
    const QStringList entries = desktopEntriesByPackage().value(package);
    for (const QString &path : entries)
        deleteDesktopEntry(path);
    for (int i = m_launchers.size() - 1; i >= 0; --i) {
        if (m_launchers.at(i).packageName == package)
            m_launchers.removeAt(i);
    }
    m_sharing.removePackage(package);
    refreshDesktop();
}

void DesktopManager::deleteDesktopEntry(const QString &path)
{
    qCDebug(lcLauncher) << "Deleting:" << path;
    if (!QFile::remove(path))
        qCWarning(lcLauncher) << "Could not remove:" << path;
    const QString icon = iconPath(path);
    if (!icon.isEmpty()) {
        qCDebug(lcLauncher) << "Deleting:" << icon;
        if (!QFile::remove(icon))
            qCWarning(lcLauncher) << "Could not remove:" << icon;
    }
    const QString settings = settingsEntryPath(path);
    if (!settings.isEmpty() && QFileInfo::exists(settings) && !QFile::remove(settings))
        qCWarning(lcLauncher) << "Could not remove:" << settings;
}

void DesktopManager::onLaunchersComplete()
{
    qCDebug(lcLauncher) << "Launchers complete. Removing orphans";
    QSet<QString> expected;
    for (const ApkLauncher &launcher : qAsConst(m_launchers))
        expected.insert(desktopEntryPath(launcher));
    const QMap<QString, QStringList> entries = desktopEntriesByPackage();
    for (const QStringList &paths : entries) {
        for (const QString &path : paths) {
            if (expected.contains(path))
                continue;
            qCDebug(lcLauncher) << "Removing " << path;
            deleteDesktopEntry(path);
        }
    }
    refreshDesktop();
}

void DesktopManager::refreshDesktop()
{
    // The tool's own default is the system's applications directory; any
    // other directory is named, so that the cache lands beside its entries.
    QStringList arguments{QStringLiteral("-q")};
    if (!m_locations.usesSystemApplicationsDir())
        arguments << m_locations.applicationsDir;
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(m_locations.desktopDatabaseTool, arguments);
    if (tool.waitForStarted())
        tool.waitForFinished(kDesktopDatabaseTimeoutMs);
    if (tool.state() != QProcess::NotRunning) {
        tool.kill();
        tool.waitForFinished();
    }
}
