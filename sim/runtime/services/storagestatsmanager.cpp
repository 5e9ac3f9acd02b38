// "storagestats": Android's storage statistics, as far as the host uses it.
//
// Interface "android.app.usage.IStorageStatsManager"; codes by SDK level
// (27 / 28 / 29 and later):
//   6 / 7 / 7   queryStatsForPackage(String16 volume, String16 package, int32 user,
//                 String16 callingPackage) -> 0, int32 1 (a StorageStats follows),
//                 int64 codeBytes, int64 dataBytes (cache included), int64 cacheBytes
// Unknown packages have all sizes 0.
// Test control (not Android):
//   0x5eed0001 setSizes(String16 package, int64 code, int64 data, int64 cache) -> 0
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "simservice.h"

#include <QMap>

using namespace ferry::binder;

namespace {

class StorageStatsService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.app.usage.IStorageStatsManager")}; }

    Status handle(SimCall &call) override
    {
        const uint32_t queryCode = sdkVersion() == 27 ? 6 : 7;
        if (call.code == queryCode) {
            const QString volume = call.in.readString();
            const QString package = call.in.readString();
            const int32_t user = call.in.readInt32();
            const QString callingPackage = call.in.readString();
            call.args = {QStringLiteral("queryStatsForPackage"), volume.isNull() ? QJsonValue() : QJsonValue(volume),
                         package, user, callingPackage.isNull() ? QJsonValue() : QJsonValue(callingPackage)};
            const Sizes sizes = m_sizes.value(package);
            call.out.writeNoException();
            call.out.writeInt32(1);
            call.out.writeInt64(sizes.code);
            call.out.writeInt64(sizes.data);
            call.out.writeInt64(sizes.cache);
            return kStatusOk;
        }
        if (call.code == 0x5eed0001) {
            const QString package = call.in.readString();
            Sizes sizes;
            sizes.code = call.in.readInt64();
            sizes.data = call.in.readInt64();
            sizes.cache = call.in.readInt64();
            m_sizes.insert(package, sizes);
            call.args = {QStringLiteral("setSizes"), package, double(sizes.code), double(sizes.data),
                         double(sizes.cache)};
            call.out.writeNoException();
            return kStatusOk;
        }
        call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
        return kStatusFailed;
    }

private:
    struct Sizes
    {
        int64_t code = 0;
        int64_t data = 0;
        int64_t cache = 0;
    };
    QMap<QString, Sizes> m_sizes;
};

} // namespace

FERRY_SIM_SERVICE("storagestats", StorageStatsService)
