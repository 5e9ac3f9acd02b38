#include "novumstoragestatsmanager.h"

NovumStorageStatsManager::NovumStorageStatsManager(QObject *parent)
    : NovumBinderConnection(QStringLiteral("storagestats"), QStringLiteral("android.app.usage.IStorageStatsManager"), false, parent)
{
}
