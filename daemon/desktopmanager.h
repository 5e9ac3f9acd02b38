#pragma once

#include "apklauncher.h"

#include <QMap>
#include <QObject>
#include <QStringList>

// The host side of Android's launchers: desktop entries in
// /usr/share/applications/ named "ferryd_launcher_*.desktop" and
// "ferryd_handler_*.desktop".
//
// The queries below read the entries that exist. Writing entries from the
// launcher service's events is not done yet: the slots only log.
class DesktopManager : public QObject
{
    Q_OBJECT
public:
    explicit DesktopManager(const QString &dataRoot, QObject *parent = nullptr);

    // Directory of the desktop entries; FERRYD_APPLICATIONS_DIR overrides
    // "/usr/share/applications/" for tests.
    static QString applicationsDir();

    // Full paths of the daemon's desktop entries grouped by their
    // "X-ferryd-packageName".
    QMap<QString, QStringList> desktopEntriesByPackage() const;
    // The package a desktop entry path belongs to, or the path itself.
    QString packageForDesktopEntry(const QString &path) const;
    // "Name" of the package's first desktop entry, or the package name.
    QString appDisplayName(const QString &package) const;
    // Every desktop entry path of the daemon.
    QStringList allDesktopEntries() const;

public slots:
    void onCreateLauncher(ApkLauncher launcher);
    void onRemovePackage(const QString &package);
    void onLaunchersComplete();
    void refreshDesktop();

signals:
    void newApplicationInstalled(ApkLauncher launcher);

private:
    QString m_dataRoot;
};
