// "alarm": Android's alarm manager, as far as the host uses it.
//
// Interface "android.app.IAlarmManager":
//   3 setTimeZone(String16 zone)   -> 0
#include "novumparcel.h"
#include "simservice.h"

using namespace ferry::binder;

namespace {

class AlarmManagerService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.app.IAlarmManager")}; }

    Status handle(SimCall &call) override
    {
        if (call.code == 3) {
            call.args = {QStringLiteral("setTimeZone"), call.in.readString()};
            call.out.writeNoException();
            return kStatusOk;
        }
        call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
        return kStatusFailed;
    }
};

} // namespace

FERRY_SIM_SERVICE("alarm", AlarmManagerService)
