#pragma once

#include "novumbinderconnection.h"

// Client of Android's device-idle controller ("deviceidle"), connected on
// demand: its power-save whitelist decides whether an app may start on
// boot.
class NovumDeviceIdle : public NovumBinderConnection
{
    Q_OBJECT
public:
    explicit NovumDeviceIdle(QObject *parent = nullptr);

    void setPowerSaveWhitelisted(const QString &package, bool allowed);
    // False on any failure (logged).
    bool isPowerSaveWhitelisted(const QString &package);

    static constexpr int kAddWhitelistCode = 1;
    static constexpr int kRemoveWhitelistCode = 2;
    static int isWhitelistedCode(int sdk);
};
