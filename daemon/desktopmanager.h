#pragma once

#include "apklauncher.h"
#include "desktoplocations.h"
#include "sharingregistry.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QStringList>

// The host side of Android's launchers: one desktop entry per launcher or
// handler activity ("ferryd_launcher_*.desktop", "ferryd_handler_*.desktop"),
// its icon, the app's settings entry and the share targets of the sharing
// registry; removal of what belongs to removed packages and, once Android
// has reported everything after a start, of orphans.
//
// Everything written is named from the package and class names Android
// reports. Those come from third-party code, so a launcher whose names are
// not what Android itself allows, or whose label, version or MIME types
// carry control characters, is dropped before anything is written.
class DesktopManager : public QObject
{
    Q_OBJECT
public:
    // Locations from the environment (DesktopLocations::fromEnvironment).
    explicit DesktopManager(const QString &dataRoot, QObject *parent = nullptr);
    DesktopManager(const QString &dataRoot, const DesktopLocations &locations, QObject *parent = nullptr);

    // Largest icon written; a larger one leaves the earlier icon in place.
    // (A launcher icon is tens of kilobytes; a whole binder transaction can
    // be at most a little under 1 MiB, so a cap there would never apply.)
    static constexpr int kMaxIconBytes = 512 * 1024;

    // The desktop entry directory of the environment's locations.
    static QString applicationsDir();
    const DesktopLocations &locations() const { return m_locations; }

    // Full paths of the daemon's desktop entries grouped by their
    // "X-ferryd-packageName".
    QMap<QString, QStringList> desktopEntriesByPackage() const;
    // The package a desktop entry path belongs to, or the path itself.
    QString packageForDesktopEntry(const QString &path) const;
    // "Name" of the package's first desktop entry, or the package name.
    QString appDisplayName(const QString &package) const;
    // Every desktop entry path of the daemon.
    QStringList allDesktopEntries() const;

    // Paths belonging to a launcher; empty when its names are unusable.
    QString desktopEntryPath(const ApkLauncher &launcher) const;
    QString iconPath(const QString &desktopEntryPath) const;
    QString settingsEntryPath(const QString &desktopEntryPath) const;

    bool isBlacklisted(const QString &package) const;
    // The latest launcher per package and class received since start.
    const QList<ApkLauncher> &launchers() const { return m_launchers; }

public slots:
    void onCreateLauncher(ApkLauncher launcher);
    void onRemovePackage(const QString &package);
    void onLaunchersComplete();
    void refreshDesktop();

signals:
    void newApplicationInstalled(ApkLauncher launcher);

private:
    void writeIcon(const ApkLauncher &launcher, const QString &path, bool entryIsNew);
    bool isPartnerSpacePackage(const QString &package) const;
    void writeSettingsEntry(const QString &desktopEntryPath, const QString &package, const QString &version);
    void deleteDesktopEntry(const QString &path);

    DesktopLocations m_locations;
    QStringList m_blacklist;
    QList<ApkLauncher> m_launchers;
    QString m_dataRoot;
    SharingRegistry m_sharing;
};
