// "activity": Android's activity manager, as far as the host uses it.
//
// Interface "android.app.IActivityManager"; codes by SDK level
// (27 / 28 / 29 and later):
//   3 / 6 / 7     startActivity(binder caller, String16 callingPackage, int32 1, Intent,
//                   String16 resolvedType, binder resultTo, String16 resultWho,
//                   int32 requestCode, int32 startFlags, int32 profilerInfo, int32 options)
//                   -> 0, int32 0 (started)
//   72 / 77 / 68  forceStopPackage(String16 package, int32 user) -> 0
// The Intent is decoded completely into the log line's "intent".
#include "intentjson.h"
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "simservice.h"

using namespace ferry::binder;

namespace {

class ActivityManagerService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.app.IActivityManager")}; }

    Status handle(SimCall &call) override
    {
        const int sdk = sdkVersion();
        const uint32_t startCode = sdk == 27 ? 3 : sdk == 28 ? 6 : 7;
        const uint32_t forceStopCode = sdk == 27 ? 72 : sdk == 28 ? 77 : 68;
        if (call.code == startCode) {
            const bool caller = call.in.readObject() != nullptr;
            const QString callingPackage = call.in.readString();
            const int32_t hasIntent = call.in.readInt32();
            QJsonObject intent;
            if (hasIntent == 1)
                intent = readIntentJson(call.in, sdk);
            const QString resolvedType = call.in.readString();
            const bool resultTo = call.in.readObject() != nullptr;
            const QString resultWho = call.in.readString();
            const int32_t requestCode = call.in.readInt32();
            const int32_t startFlags = call.in.readInt32();
            const int32_t profilerInfo = call.in.readInt32();
            const int32_t options = call.in.readInt32();
            call.args = {QStringLiteral("startActivity"), caller, callingPackage, hasIntent,
                         resolvedType.isNull() ? QJsonValue() : QJsonValue(resolvedType), resultTo, resultWho,
                         requestCode, startFlags, profilerInfo, options};
            call.extra.insert(QStringLiteral("intent"), intent);
            call.out.writeNoException();
            call.out.writeInt32(0);
            return kStatusOk;
        }
        if (call.code == forceStopCode) {
            const QString package = call.in.readString();
            const int32_t user = call.in.readInt32();
            call.args = {QStringLiteral("forceStopPackage"), package, user};
            call.out.writeNoException();
            return kStatusOk;
        }
        call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
        return kStatusFailed;
    }
};

} // namespace

FERRY_SIM_SERVICE("activity", ActivityManagerService)
