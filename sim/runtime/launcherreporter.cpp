#include "launcherreporter.h"

#include "apkdescription.h"
#include "datapath.h"
#include "novumparcel.h"
#include "transactionlog.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/service_manager.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTimer>

using namespace ferry::binder;

namespace LauncherReporter {

namespace {

const char kDevice[] = "/dev/vororoveredi";
const char kService[] = "novum.launcher";
const char kInterface[] = "novum.applications.INovumNativeLauncherService";
// Fake APKs are small descriptions; a generated icon may make one larger.
const qint64 kMaxApkBytes = 16 * 1024 * 1024;
const int kHostPollMs = 50;
const int kHostPolls = 1200;

std::unique_ptr<Client> hostService()
{
    const std::shared_ptr<ServiceManager> manager = ServiceManager::get(kDevice);
    const std::shared_ptr<RemoteObject> remote = manager ? manager->getServiceSync(kService) : nullptr;
    return remote ? std::make_unique<Client>(remote, kInterface) : nullptr;
}

Status call(const Client &client, uint32_t code, const QJsonArray &args,
            const std::function<void(NovumParcel &)> &write)
{
    LocalRequest request = client.newRequest(code);
    {
        NovumParcel out(&request);
        write(out);
    }
    std::unique_ptr<RemoteReply> reply;
    const Status status = client.transactSync(code, request, &reply);
    TransactionLog::append({{QStringLiteral("service"), QString::fromLatin1(kService)},
                            {QStringLiteral("code"), qint64(code)},
                            {QStringLiteral("outgoing"), true},
                            {QStringLiteral("args"), args},
                            {QStringLiteral("status"), status}});
    return status;
}

QString installedPath(const QString &package)
{
    return installedDir() + package + QStringLiteral(".apk");
}

ApkDescription installedDescription(const QString &package)
{
    QFile file(installedPath(package));
    if (!file.open(QIODevice::ReadOnly))
        return ApkDescription();
    ApkDescription description = ApkDescription::parse(file.read(kMaxApkBytes), file.fileName());
    description.package = package;
    return description;
}

int report(const Client &client, const QString &package)
{
    const ApkDescription description = installedDescription(package);
    int calls = 0;
    for (const ApkActivity &a : description.activities) {
        const QJsonArray args{package, a.className, a.label};
        if (!a.handler) {
            call(client, kLauncherCode, args, [&](NovumParcel &p) {
                p.writeString(package);
                p.writeString(a.className);
                p.writeString(a.label);
                p.writeString(a.version);
                p.writeByteArray(a.icon);
            });
        } else {
            call(client, kHandlerCode, args, [&](NovumParcel &p) {
                p.writeString(package);
                p.writeString(a.className);
                p.writeString(a.label);
                p.writeString(a.caption);
                p.writeString(a.version);
                p.writeString(a.mimeTypes.join(QLatin1Char(';')));
                p.writeString(a.shareTypes.join(QLatin1Char(';')));
                p.writeBool(a.multi);
                p.writeString(a.schemes.join(QLatin1Char(';')));
                p.writeString(a.hosts.join(QLatin1Char(';')));
                p.writeBool(false);
                p.writeByteArray(a.icon);
            });
        }
        ++calls;
    }
    return calls;
}

} // namespace

QString installedDir()
{
    return dataPath(dataRoot(), AppDir);
}

QString recordInstall(const QString &runtimePath)
{
    QFile staged(dataRoot() + runtimePath);
    if (!staged.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray content = staged.read(kMaxApkBytes);
    const QString package = ApkDescription::parse(content, runtimePath).package;
    // The package name becomes a file name here, as it does on Android.
    if (package.isEmpty() || package.contains(QLatin1Char('/')) || package.startsWith(QLatin1Char('.')))
        return QString();
    QDir().mkpath(installedDir());
    QFile installed(installedPath(package));
    if (!installed.open(QIODevice::WriteOnly | QIODevice::Truncate) || installed.write(content) != content.size())
        return QString();
    return package;
}

bool recordRemoval(const QString &package)
{
    return !package.contains(QLatin1Char('/')) && QFile::remove(installedPath(package));
}

QStringList installedPackages()
{
    QStringList packages;
    for (QString name : QDir(installedDir()).entryList({QStringLiteral("*.apk")}, QDir::Files, QDir::Name)) {
        name.chop(4);
        packages << name;
    }
    return packages;
}

int reportPackage(const QString &package)
{
    const std::unique_ptr<Client> client = hostService();
    return client ? report(*client, package) : -1;
}

int reportAll(bool complete)
{
    const std::unique_ptr<Client> client = hostService();
    if (!client)
        return -1;
    int calls = 0;
    for (const QString &package : installedPackages())
        calls += report(*client, package);
    if (complete) {
        call(*client, kCompleteCode, QJsonArray(), [](NovumParcel &) {});
        ++calls;
    }
    return calls;
}

Status reportComplete()
{
    const std::unique_ptr<Client> client = hostService();
    if (!client)
        return kStatusDeadObject;
    return call(*client, kCompleteCode, QJsonArray(), [](NovumParcel &) {});
}

Status reportRemoved(const QString &package)
{
    const std::unique_ptr<Client> client = hostService();
    if (!client)
        return kStatusDeadObject;
    return call(*client, kRemovedCode, QJsonArray{package}, [&](NovumParcel &p) { p.writeString(package); });
}

void reportAllWhenHostListens(QObject *context)
{
    auto poll = std::make_shared<std::function<void(int)>>();
    *poll = [context, weak = std::weak_ptr<std::function<void(int)>>(poll)](int left) {
        if (hostService()) {
            reportAll(true);
            return;
        }
        if (left <= 0)
            return;
        if (const auto again = weak.lock())
            QTimer::singleShot(kHostPollMs, context, [again, left] { (*again)(left - 1); });
    };
    QTimer::singleShot(0, context, [poll] { (*poll)(kHostPolls); });
}

void afterInstall(const QString &runtimePath)
{
    // Reported once the install call is answered: the host handles each
    // report before it answers, and is busy with its own call until then.
    QTimer::singleShot(0, [runtimePath] {
        const QString package = recordInstall(runtimePath);
        if (!package.isEmpty())
            reportPackage(package);
    });
}

void afterRemoval(const QString &package)
{
    QTimer::singleShot(0, [package] {
        if (recordRemoval(package))
            reportRemoved(package);
    });
}

} // namespace LauncherReporter
