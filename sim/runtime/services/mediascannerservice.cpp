// "novum.media.file_observer": Android's media scanner as the host's file
// observer reaches it.
//
// Interface "android.media.IMediaScannerService":
//   1 scanFile(s16 url, s16 mimeType, s16 extra), one-way; the host sends
//     the file's encoded Android URL and two null strings. Logged as
//     args [url, mimeType, extra], null strings as null.
#include "novumparcel.h"
#include "simservice.h"

using namespace ferry::binder;

namespace {

QJsonValue orNull(const QString &s)
{
    return s.isNull() ? QJsonValue() : QJsonValue(s);
}

class MediaScannerService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.media.IMediaScannerService")}; }

    Status handle(SimCall &call) override
    {
        if (call.code == 1) {
            const QString url = call.in.readString();
            const QString mimeType = call.in.readString();
            const QString extra = call.in.readString();
            call.args = {orNull(url), orNull(mimeType), orNull(extra)};
            call.out.writeNoException();
            return kStatusOk;
        }
        call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
        return kStatusFailed;
    }
};

} // namespace

FERRY_SIM_SERVICE("novum.media.file_observer", MediaScannerService)
