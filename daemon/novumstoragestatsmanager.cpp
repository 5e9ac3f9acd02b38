#include "novumstoragestatsmanager.h"

#include "logging.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "sdkcode.h"

NovumStorageStatsManager::NovumStorageStatsManager(QObject *parent)
    : NovumBinderConnection(QStringLiteral("storagestats"), QStringLiteral("android.app.usage.IStorageStatsManager"), false, parent)
{
}

int NovumStorageStatsManager::queryStatsForPackageCode(int sdk)
{
    return sdkCode(sdk, 6, 7, 7);
}

NovumStorageStatsManager::PackageStats NovumStorageStatsManager::queryPackageStats(const QString &package)
{
    qCDebug(lcBinder) << "Requesting package stats";
    PackageStats stats;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(queryStatsForPackageCode(sdkVersion()), false));
    if (!t) {
        qCCritical(lcBinder) << "Could not create storagestats transaction";
        return stats;
    }
    NovumParcel &w = t->writer();
    w.writeString(QString());      // volume
    w.writeString(package);
    w.writeInt32(0);               // user
    w.writeString(QString());      // calling package
    if (t->execute() != 0) {
        qCCritical(lcBinder) << "Error requesting package stats";
        return stats;
    }
    NovumParcel &r = t->reader();
    // The exception code and the presence marker, as one 64-bit read.
    const qint64 status = r.readInt64();
    qCDebug(lcBinder) << "Status:" << status;
    stats.codeBytes = r.readInt64();
    qCDebug(lcBinder) << "Code: " << stats.codeBytes;
    stats.dataBytes = r.readInt64();
    qCDebug(lcBinder) << "Data: " << stats.dataBytes;
    stats.cacheBytes = r.readInt64();
    qCDebug(lcBinder) << "Cache: " << stats.cacheBytes;
    return stats;
}
