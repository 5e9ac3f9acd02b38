#pragma once

#include <QList>
#include <QString>

// The installed Android apps as the host launcher sees them: one desktop
// entry "ferryd_launcher_*.desktop" per launcher activity, written by ferryd.
struct InstalledApp
{
    QString package;
    QString label;
    QString desktopFile;
};

namespace InstalledApps {

// FERRYD_APPLICATIONS_DIR when set (as for ferryd), else /usr/share/applications.
QString applicationsDir();
// Entries sorted by package, then file; unreadable, oversized or foreign
// entries are skipped.
QList<InstalledApp> list(const QString &dir);

} // namespace InstalledApps
