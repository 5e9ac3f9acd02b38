// "package": Android's package manager, as far as the host uses it.
//
// Interface "android.content.pm.IPackageManager"; codes by SDK level
// (27 / 28 / 29 and later):
//   60 / - / -         installPackageAsUser(String16 path, binder observer, int32 flags,
//                        String16 installer, int32 user)
//   64 / 63 / 66       deletePackageAsUser(String16 package, int32 version, binder observer,
//                        int32 user, int32 flags)
//   100 / 100 / 103    deleteApplicationCacheFilesAsUser(String16 package, int32 user, binder observer)
//   101 / 101 / 104    clearApplicationUserData(String16 package, binder observer, int32 user)
// Every call answers 0 (no exception). An install or deletion that carries
// an observer is reported to it at once, one-way, with the result code set
// by the test:
//   install: IPackageInstallObserver2 code 2 (String16 package, int32 result, String16 message,
//            int32 0 = no extras); the package name is the file name cut at '-' / ".apk"
//   delete:  IPackageDeleteObserver code 1 (String16 package, int32 result)
// A successful install, or the removal of an installed package, is then
// reported to the host's launcher service.
// Test control (not Android):
//   0x5eed0001 setResults(int32 installResult, int32 deleteResult, String16 message) -> 0
//   0x5eed0003 setInstallHandOff(int32 mode) -> 0: how later installs are answered: 0 as
//        above, 1 with an exception (int32 -1, EX_SECURITY, and a message; reports nothing),
//        2 the transaction fails (status failed, reports nothing)
#include "launcherreporter.h"
#include "novumparcel.h"
#include "runtimeproperties.h"
#include "simservice.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>

using namespace ferry::binder;

namespace {

// The package name the runtime would find in an APK file: the file name
// without ".apk" and a "-version" suffix.
QString packageNameOf(const QString &path)
{
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (name.endsWith(QLatin1String(".apk")))
        name.chop(4);
    const int dash = name.indexOf(QLatin1Char('-'));
    return dash >= 0 ? name.left(dash) : name;
}

} // namespace

// Shared with the runtime's own service, which installs on SDK 28 and later.
Status reportInstallResult(const std::shared_ptr<RemoteObject> &observer, const QString &path, int32_t result,
                           const QString &message)
{
    if (!observer)
        return kStatusOk;
    Client client(observer, "android.content.pm.IPackageInstallObserver2");
    LocalRequest request = client.newRequest(2);
    NovumParcel out(&request);
    out.writeString(packageNameOf(path));
    out.writeInt32(result);
    out.writeString(message);
    out.writeInt32(0);
    return client.transactOneway(2, request);
}

namespace {

// INSTALL_SUCCEEDED and DELETE_SUCCEEDED.
const int32_t kSucceeded = 1;

class PackageManagerService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("android.content.pm.IPackageManager")}; }

    Status handle(SimCall &call) override
    {
        const int sdk = sdkVersion();
        const uint32_t deleteCode = sdk == 27 ? 64 : sdk == 28 ? 63 : 66;
        const uint32_t cacheCode = sdk >= 29 ? 103 : 100;
        const uint32_t clearCode = sdk >= 29 ? 104 : 101;
        if (call.code == 60 && sdk == 27) {
            const QString path = call.in.readString();
            const std::shared_ptr<RemoteObject> observer = call.in.readObject();
            const int32_t flags = call.in.readInt32();
            bool installerNull = call.in.readString().isNull();
            const int32_t user = call.in.readInt32();
            call.args = {QStringLiteral("install"), path, observer ? QStringLiteral("binder") : QStringLiteral("null"),
                         flags, installerNull ? QStringLiteral("null") : QStringLiteral("set"), user};
            if (m_installHandOff == 2)
                return kStatusFailed;
            if (m_installHandOff == 1) {
                call.out.writeInt32(-1);
                call.out.writeString(QStringLiteral("Install refused"));
                return kStatusOk;
            }
            call.out.writeNoException();
            call.extra.insert(QStringLiteral("observerStatus"),
                              reportInstallResult(observer, path, m_installResult, m_message));
            if (m_installResult == kSucceeded)
                LauncherReporter::afterInstall(path);
            return kStatusOk;
        }
        if (call.code == deleteCode) {
            const QString package = call.in.readString();
            const int32_t version = call.in.readInt32();
            const std::shared_ptr<RemoteObject> observer = call.in.readObject();
            const int32_t user = call.in.readInt32();
            const int32_t flags = call.in.readInt32();
            call.args = {QStringLiteral("delete"), package, version,
                         observer ? QStringLiteral("binder") : QStringLiteral("null"), user, flags};
            call.out.writeNoException();
            if (observer) {
                Client client(observer, "android.content.pm.IPackageDeleteObserver");
                LocalRequest request = client.newRequest(1);
                NovumParcel out(&request);
                out.writeString(package);
                out.writeInt32(m_deleteResult);
                call.extra.insert(QStringLiteral("observerStatus"), client.transactOneway(1, request));
            }
            if (m_deleteResult == kSucceeded)
                LauncherReporter::afterRemoval(package);
            return kStatusOk;
        }
        if (call.code == cacheCode) {
            const QString package = call.in.readString();
            const int32_t user = call.in.readInt32();
            const bool observer = call.in.readObject() != nullptr;
            call.args = {QStringLiteral("deleteCache"), package, user, observer};
            call.out.writeNoException();
            return kStatusOk;
        }
        if (call.code == clearCode) {
            const QString package = call.in.readString();
            const bool observer = call.in.readObject() != nullptr;
            const int32_t user = call.in.readInt32();
            call.args = {QStringLiteral("clearData"), package.isNull() ? QJsonValue() : QJsonValue(package),
                         observer, user};
            call.out.writeNoException();
            return kStatusOk;
        }
        if (call.code == 0x5eed0001) {
            m_installResult = call.in.readInt32();
            m_deleteResult = call.in.readInt32();
            m_message = call.in.readString();
            call.args = {QStringLiteral("setResults"), m_installResult, m_deleteResult, m_message};
            call.out.writeNoException();
            return kStatusOk;
        }
        if (call.code == 0x5eed0003) {
            m_installHandOff = call.in.readInt32();
            call.args = {QStringLiteral("setInstallHandOff"), m_installHandOff};
            call.out.writeInt32(0);
            return kStatusOk;
        }
        call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
        return kStatusFailed;
    }

private:
    int32_t m_installHandOff = 0;
    int32_t m_installResult = 1;
    int32_t m_deleteResult = 1;
    QString m_message;
};

} // namespace

FERRY_SIM_SERVICE("package", PackageManagerService)
