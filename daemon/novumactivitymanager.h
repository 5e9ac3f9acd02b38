#pragma once

#include "novumbinderconnection.h"

class Intent;

// Client of Android's activity manager ("activity"), kept connected while
// the runtime runs: starts activities and force-stops packages. Failures
// are only logged by the binder layer; nothing is reported back.
class NovumActivityManager : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumActivityManager(QObject *parent = nullptr);

    void startActivity(const Intent &intent);
    void forceStopPackage(const QString &package);

    // Transaction codes by SDK level (27, 28, 29; others as 29, logged).
    static int startActivityCode(int sdk);
    static int forceStopPackageCode(int sdk);
};
