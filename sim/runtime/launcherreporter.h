#pragma once

#include <QString>
#include <QStringList>

class QObject;

// The Android side of the host's launcher service "novum.launcher": what
// Android's launcher apps service tells the host (code 1 launcher, 2 all
// sent, 3 package removed, 4 handler). Installed packages are kept as
// copies of their fake APKs in the runtime's app directory
// ($ANDROID_DATA_ROOT/data/app/PACKAGE.apk), so a restarted runtime still
// knows them. Every call to the host is logged like a transaction, with
// "outgoing": true.
namespace LauncherReporter {

QStringList installedPackages();
// Reports the packages' launchers and handlers, then code 2 if complete.
// Returns the number of calls, -1 when the host's service is not there.
int report(const QStringList &packages, bool complete);
// What Android does once it is up: as soon as the host's service is
// registered (looked for every 50 ms for a minute), every installed
// package, then code 2.
void reportAllWhenHostListens(QObject *context);
// After an install (a runtime path below the data root) or a removal was
// answered: keep or forget the package and report it.
void afterInstall(const QString &runtimePath);
void afterRemoval(const QString &package);

} // namespace LauncherReporter
