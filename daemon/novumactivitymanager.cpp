#include "novumactivitymanager.h"

#include "intent.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "sdkcode.h"

NovumActivityManager::NovumActivityManager(QObject *parent)
    : NovumBinderConnection(QStringLiteral("activity"), QStringLiteral("android.app.IActivityManager"), true, parent)
{
}

int NovumActivityManager::startActivityCode(int sdk)
{
    return sdkCode(sdk, 3, 6, 7);
}

int NovumActivityManager::forceStopPackageCode(int sdk)
{
    return sdkCode(sdk, 72, 77, 68);
}

void NovumActivityManager::startActivity(const Intent &intent)
{
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(startActivityCode(sdkVersion()), false));
    if (!t)
        return;
    NovumParcel &w = t->writer();
    w.writeLocalObject(nullptr);   // caller
    w.writeString(QStringLiteral(""));   // calling package
    w.writeInt32(1);               // an Intent follows
    w.writeIntent(intent);
    w.writeString(intent.type);    // resolved type
    w.writeLocalObject(nullptr);   // result to
    w.writeString(QStringLiteral(""));   // result who
    w.writeInt32(0);               // request code
    w.writeInt32(0);               // start flags
    w.writeInt32(0);               // no profiler info
    w.writeInt32(0);               // no options
    t->execute();
}

void NovumActivityManager::forceStopPackage(const QString &package)
{
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(forceStopPackageCode(sdkVersion()), false));
    if (!t)
        return;
    t->writer().writeString(package);
    t->writer().writeInt32(0);     // user
    t->execute();
}
