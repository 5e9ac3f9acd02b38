#pragma once

#include "novumbinderconnection.h"

// Connection to Android's "storagestats" service. Its operations are not
// available yet; the object keeps the daemon's construction order and
// connection wiring in place.
class NovumStorageStatsManager : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumStorageStatsManager(QObject *parent = nullptr);
};
