// "novum": the runtime's own service for the host.
//
// Interface "novum.applications.INovumService":
//   1  launchPackage(String16 package)                      -> 0
//   2  install(String16 path, binder observer)              -> int32 1 (accepted); the
//        observer (IPackageInstallObserver2) gets the install result at once, as the package
//        manager reports it
//   15 setListener(binder listener)                         -> 0
// A successful install is then reported to the host's launcher service.
// Test control (not Android):
//   0x5eed0001 setInstallResult(int32 result, String16 message)  -> 0
//   0x5eed0003 setInstallHandOff(int32 mode)                -> 0
//        how later installs (code 2) are answered: 0 accepted as above, 1 refused (answers
//        int32 0, reports nothing), 2 the transaction fails (status failed, reports nothing)
//   0x5eed0002 reportAppClosed(String16 app, int32 code)    -> 0, status of the listener call
//        calls the listener ("novum.applications.INovumServiceListener") two-way with the
//        given code and the app name; status -1 without a listener
#include "launcherreporter.h"
#include "novumparcel.h"
#include "simservice.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>

using namespace ferry::binder;

Status reportInstallResult(const std::shared_ptr<RemoteObject> &observer, const QString &path, int32_t result,
                           const QString &message);

namespace {

const int32_t kInstallSucceeded = 1;

class NovumService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("novum.applications.INovumService")}; }

    Status handle(SimCall &call) override
    {
        switch (call.code) {
        case 1:
            call.args = {QStringLiteral("launch"), call.in.readString()};
            call.out.writeNoException();
            return kStatusOk;
        case 2: {
            const QString path = call.in.readString();
            const std::shared_ptr<RemoteObject> observer = call.in.readObject();
            call.args = {QStringLiteral("install"), path, observer ? QStringLiteral("binder") : QStringLiteral("null")};
            if (m_handOff == 2)
                return kStatusFailed;
            // The answer alone: this reply has no status word.
            call.out.writeInt32(m_handOff == 1 ? 0 : 1);
            if (m_handOff == 1)
                return kStatusOk;
            call.extra.insert(QStringLiteral("observerStatus"),
                              reportInstallResult(observer, path, m_installResult, m_message));
            if (m_installResult == kInstallSucceeded)
                LauncherReporter::afterInstall(path);
            return kStatusOk;
        }
        case 15:
            m_listener = call.in.readObject();
            call.args = {QStringLiteral("setListener"), m_listener ? QStringLiteral("binder") : QStringLiteral("null")};
            call.out.writeNoException();
            return kStatusOk;
        case 0x5eed0001:
            m_installResult = call.in.readInt32();
            m_message = call.in.readString();
            call.args = {QStringLiteral("setInstallResult"), m_installResult, m_message};
            call.out.writeNoException();
            return kStatusOk;
        case 0x5eed0003:
            m_handOff = call.in.readInt32();
            call.args = {QStringLiteral("setInstallHandOff"), m_handOff};
            call.out.writeInt32(0);
            return kStatusOk;
        case 0x5eed0002: {
            const QString app = call.in.readString();
            const int32_t code = call.in.readInt32();
            Status status = -1;
            if (m_listener) {
                Client client(m_listener, "novum.applications.INovumServiceListener");
                LocalRequest request = client.newRequest(uint32_t(code));
                NovumParcel(&request).writeString(app);
                std::unique_ptr<RemoteReply> reply;
                status = client.transactSync(uint32_t(code), request, &reply);
            }
            call.args = {QStringLiteral("reportAppClosed"), app, code, status};
            call.out.writeNoException();
            call.out.writeInt32(status);
            return kStatusOk;
        }
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
    }

private:
    std::shared_ptr<RemoteObject> m_listener;
    int32_t m_installResult = 1;
    QString m_message;
    int32_t m_handOff = 0;
};

} // namespace

FERRY_SIM_SERVICE("novum", NovumService)
