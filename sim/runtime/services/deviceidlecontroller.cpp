// "deviceidle": Android's device-idle controller, as far as the host uses it.
//
// Interface "android.os.IDeviceIdleController"; codes by SDK level
// (27 / 28 / 29 and later):
//   1             addPowerSaveWhitelistApp(String16 package)    -> 0
//   2             removePowerSaveWhitelistApp(String16 package) -> 0
//   13 / 16 / 16  isPowerSaveWhitelistApp(String16 package)     -> 0, int32 0/1
// Every log line carries the whitelist after the call as "whitelist".
// Test control (not Android):
//   0x5eed0001 setWhitelist(string list) -> 0
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "simservice.h"

#include <QJsonArray>
#include <QSet>

using namespace ferry::binder;

namespace {

class DeviceIdleService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.os.IDeviceIdleController")}; }

    Status handle(SimCall &call) override
    {
        const uint32_t checkCode = sdkVersion() == 27 ? 13 : 16;
        Status status = kStatusOk;
        if (call.code == 1 || call.code == 2) {
            const QString package = call.in.readString();
            if (call.code == 1)
                m_whitelist.insert(package);
            else
                m_whitelist.remove(package);
            call.args = {call.code == 1 ? QStringLiteral("add") : QStringLiteral("remove"), package};
            call.out.writeNoException();
        } else if (call.code == checkCode) {
            const QString package = call.in.readString();
            const bool listed = m_whitelist.contains(package);
            call.args = {QStringLiteral("isWhitelisted"), package, listed};
            call.out.writeNoException();
            call.out.writeInt32(listed ? 1 : 0);
        } else if (call.code == 0x5eed0001) {
            const QStringList list = call.in.readStringList();
            m_whitelist = QSet<QString>(list.cbegin(), list.cend());
            call.args = {QStringLiteral("setWhitelist")};
            call.out.writeNoException();
        } else {
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            status = kStatusFailed;
        }
        QStringList sorted = m_whitelist.values();
        sorted.sort();
        call.extra.insert(QStringLiteral("whitelist"), QJsonArray::fromStringList(sorted));
        return status;
    }

private:
    QSet<QString> m_whitelist;
};

} // namespace

FERRY_SIM_SERVICE("deviceidle", DeviceIdleService)
