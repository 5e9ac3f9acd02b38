// "novum.connectivity": Android's connectivity service as the host's Wi-Fi
// monitor reaches it.
//
// Interface "novum.connectivity.INovumConnectivityService", every call -> 0:
//   1 registerWifiNetwork(s16 name, s16 address, s16, s16, bool connected,
//       int32, bool is5GHz, bool hidden, int32 rssi, int32 linkSpeedMbps,
//       int32 frequencyMHz, s16 ipv4Address, s16 ipv4Netmask,
//       s16 ipv4Gateway, s16 dns1, s16 dns2, s16 ipv6Address,
//       s16 ipv6Netmask, s16 ipv6Gateway)
//   2 unregisterWifiNetwork()
// The log line's args: the method name, then every field in that order;
// null strings are JSON null. A request with bytes left over, or too
// short, is logged with "note".
#include "novumparcel.h"
#include "simservice.h"

using namespace ferry::binder;

namespace {

QJsonValue text(const QString &s)
{
    return s.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(s);
}

class NovumConnectivityService : public SimService
{
public:
    QStringList interfaces() const override
    {
        return {QStringLiteral("novum.connectivity.INovumConnectivityService")};
    }

    Status handle(SimCall &call) override
    {
        switch (call.code) {
        case 1: {
            NovumParcel &in = call.in;
            QJsonArray args{QStringLiteral("registerWifiNetwork")};
            for (int i = 0; i < 4; ++i)
                args << text(in.readString());
            args << in.readBool() << in.readInt32() << in.readBool() << in.readBool();
            for (int i = 0; i < 3; ++i)
                args << in.readInt32();
            for (int i = 0; i < 8; ++i)
                args << text(in.readString());
            if (in.isMalformed() || !in.atEnd())
                call.extra.insert(QStringLiteral("note"), QStringLiteral("request does not match the layout"));
            call.args = args;
            break;
        }
        case 2:
            call.args = {QStringLiteral("unregisterWifiNetwork")};
            break;
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
        call.out.writeNoException();
        return kStatusOk;
    }
};

} // namespace

FERRY_SIM_SERVICE("novum.connectivity", NovumConnectivityService)
