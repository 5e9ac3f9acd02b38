#pragma once

#include "novumbinderconnection.h"

// Client of Android's storage statistics ("storagestats"), connected on
// demand and dropped 5 s after the last use.
class NovumStorageStatsManager : public NovumBinderConnection
{
    Q_OBJECT
public:
    // Sizes as Android reports them; data includes the cache.
    struct PackageStats
    {
        qint64 codeBytes = 0;
        qint64 dataBytes = 0;
        qint64 cacheBytes = 0;
    };

    explicit NovumStorageStatsManager(QObject *parent = nullptr);

    // Zeros when the service cannot be reached or the call fails (logged).
    PackageStats queryPackageStats(const QString &package);

    static int queryStatsForPackageCode(int sdk);
};
