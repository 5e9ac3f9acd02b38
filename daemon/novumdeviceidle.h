#pragma once

#include "novumbinderconnection.h"

// Connection to Android's "deviceidle" service. Its operations are not
// available yet; the object keeps the daemon's construction order and
// connection wiring in place.
class NovumDeviceIdle : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumDeviceIdle(QObject *parent = nullptr);
};
