#include "rpmremoval.h"

#include "logging.h"
#include "rpmname.h"

#include <PackageKit/Daemon>
#include <PackageKit/Transaction>

#include <QFileInfo>

bool requestRpmRemoval(const QString &filename, const QString &packagedDir)
{
    const QString n = rpmNameForApk(filename);
    if (n.isEmpty() || !QFileInfo::exists(packagedDir + n + QStringLiteral(".apk")))
        return false;
    const QString rpm = QStringLiteral("marina-apk-%1").arg(n);
    qCDebug(lcDaemon) << "Requesting uninstall of RPM '" << rpm << "' from PackageKit";
    PackageKit::Transaction *resolve = PackageKit::Daemon::resolve(rpm, PackageKit::Transaction::FilterInstalled);
    QObject::connect(resolve, &PackageKit::Transaction::package,
                     [](PackageKit::Transaction::Info, const QString &packageId, const QString &) {
                         PackageKit::Transaction *remove = PackageKit::Daemon::removePackage(
                             packageId, false, false, PackageKit::Transaction::TransactionFlagOnlyTrusted);
                         QObject::connect(remove, &PackageKit::Transaction::errorCode,
                                          [](PackageKit::Transaction::Error error, const QString &details) {
                                              qCDebug(lcDaemon) << "Error uninstalling package: " << error << details;
                                          });
                     });
    QObject::connect(resolve, &PackageKit::Transaction::errorCode,
                     [](PackageKit::Transaction::Error error, const QString &details) {
                         qCDebug(lcDaemon) << "Error resolving package: " << error << details;
                     });
    return true;
}
