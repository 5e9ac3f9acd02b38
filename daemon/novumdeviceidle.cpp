#include "novumdeviceidle.h"

#include "logging.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "sdkcode.h"

NovumDeviceIdle::NovumDeviceIdle(QObject *parent)
    : NovumBinderConnection(QStringLiteral("deviceidle"), QStringLiteral("android.os.IDeviceIdleController"), false, parent)
{
}

int NovumDeviceIdle::isWhitelistedCode(int sdk)
{
    return sdkCode(sdk, 13, 16, 16);
}

void NovumDeviceIdle::setPowerSaveWhitelisted(const QString &package, bool allowed)
{
    std::unique_ptr<NovumBinderTransaction> t(
        newTransaction(allowed ? kAddWhitelistCode : kRemoveWhitelistCode, false));
    if (!t)
        return;
    t->writer().writeString(package);
    if (t->execute() != 0)
        qCCritical(lcBinder) << "PowerSaveWhitelist setting for" << package << "failed";
}

bool NovumDeviceIdle::isPowerSaveWhitelisted(const QString &package)
{
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(isWhitelistedCode(sdkVersion()), false));
    if (t) {
        t->writer().writeString(package);
        if (t->execute() == 0) {
            const int32_t exception = t->reader().readInt32();
            const int32_t value = exception == 0 ? t->reader().readInt32() : 0;
            if (exception == 0)
                return value == 1;
        }
    }
    qCCritical(lcBinder) << "PowerSaveWhitelist check for" << package << "failed";
    return false;
}
