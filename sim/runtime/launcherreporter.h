#pragma once

#include <ferry/binder/status.h>

#include <QString>
#include <QStringList>

class QObject;

// The Android side of the host's launcher service "novum.launcher": what
// Android's launcher apps service tells the host. Installed packages are
// kept as copies of their fake APKs in the runtime's app directory
// ($ANDROID_DATA_ROOT/data/app/PACKAGE.apk), so a restarted runtime still
// knows them. Every call to the host is logged like a transaction, with
// "outgoing": true.
namespace LauncherReporter {

constexpr uint32_t kLauncherCode = 1;
constexpr uint32_t kCompleteCode = 2;
constexpr uint32_t kRemovedCode = 3;
constexpr uint32_t kHandlerCode = 4;

QString installedDir();
// Keeps the staged APK (a runtime path below the data root) as installed;
// returns its package name, empty when the file cannot be read.
QString recordInstall(const QString &runtimePath);
// Forgets the package; false when it was not installed.
bool recordRemoval(const QString &package);
QStringList installedPackages();

// Reports the package's launchers and handlers (codes 1 and 4). Returns the
// number of calls made, -1 when the host's service is not there.
int reportPackage(const QString &package);
// Every installed package, then code 2 when complete is set.
int reportAll(bool complete);
ferry::binder::Status reportRemoved(const QString &package);
ferry::binder::Status reportComplete();
// What Android does once it is up: as soon as the host's service is
// registered (looked for every 50 ms for a minute), every installed
// package, then code 2.
void reportAllWhenHostListens(QObject *context);

// After an install or removal was answered: the package's reports.
void afterInstall(const QString &runtimePath);
void afterRemoval(const QString &package);

} // namespace LauncherReporter
