#pragma once

#include "novumbinderconnection.h"

// Connection to Android's "activity" service. Its operations are not
// available yet; the object keeps the daemon's construction order and
// connection wiring in place.
class NovumActivityManager : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumActivityManager(QObject *parent = nullptr);
};
