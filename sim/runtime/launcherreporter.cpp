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

const char kService[] = "novum.launcher";
// Fake APKs are small descriptions; a generated icon may make one larger.
const qint64 kMaxApkBytes = 16 * 1024 * 1024;
const int kHostPollMs = 50;
const int kHostPolls = 1200;

std::unique_ptr<Client> hostService()
{
    const std::shared_ptr<ServiceManager> manager = ServiceManager::get("/dev/vororoveredi");
    const std::shared_ptr<RemoteObject> remote = manager ? manager->getServiceSync(kService) : nullptr;
    return remote ? std::make_unique<Client>(remote, "novum.applications.INovumNativeLauncherService") : nullptr;
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
    TransactionLog::append({{"service", kService}, {"code", qint64(code)}, {"outgoing", true},
                            {"args", args}, {"status", status}});
    return status;
}

QString installedPath(const QString &package)
{
    return dataPath(dataRoot(), AppDir) + package + QStringLiteral(".apk");
}

int reportPackage(const Client &client, const QString &package)
{
    QFile file(installedPath(package));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const ApkDescription description = ApkDescription::parse(file.read(kMaxApkBytes), file.fileName());
    for (const ApkActivity &a : description.activities) {
        call(client, a.handler ? 4 : 1, {package, a.className, a.label}, [&](NovumParcel &p) {
            p.writeString(package);
            p.writeString(a.className);
            p.writeString(a.label);
            if (a.handler)
                p.writeString(a.caption);
            p.writeString(a.version);
            if (a.handler) {
                p.writeString(a.mimeTypes.join(QLatin1Char(';')));
                p.writeString(a.shareTypes.join(QLatin1Char(';')));
                p.writeBool(a.multi);
                p.writeString(a.schemes.join(QLatin1Char(';')));
                p.writeString(a.hosts.join(QLatin1Char(';')));
                p.writeBool(false);
            }
            p.writeByteArray(a.icon);
        });
    }
    return description.activities.size();
}

} // namespace

QStringList installedPackages()
{
    QStringList packages;
    for (QString name : QDir(dataPath(dataRoot(), AppDir)).entryList({"*.apk"}, QDir::Files, QDir::Name))
        packages << name.left(name.size() - 4);
    return packages;
}

int report(const QStringList &packages, bool complete)
{
    const std::unique_ptr<Client> client = hostService();
    if (!client)
        return -1;
    int calls = 0;
    for (const QString &package : packages)
        calls += reportPackage(*client, package);
    if (complete && call(*client, 2, QJsonArray(), [](NovumParcel &) {}) == kStatusOk)
        ++calls;
    return calls;
}

void reportAllWhenHostListens(QObject *context)
{
    auto poll = std::make_shared<std::function<void(int)>>();
    *poll = [context, weak = std::weak_ptr<std::function<void(int)>>(poll)](int left) {
        if (report(installedPackages(), true) >= 0 || left <= 0)
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
        QFile staged(dataRoot() + runtimePath);
        if (!staged.open(QIODevice::ReadOnly))
            return;
        const QByteArray content = staged.read(kMaxApkBytes);
        const QString package = ApkDescription::parse(content, runtimePath).package;
        // The package name becomes a file name here, as it does on Android.
        if (package.isEmpty() || package.contains(QLatin1Char('/')) || package.startsWith(QLatin1Char('.')))
            return;
        QDir().mkpath(dataPath(dataRoot(), AppDir));
        QFile installed(installedPath(package));
        if (!installed.open(QIODevice::WriteOnly | QIODevice::Truncate) || installed.write(content) != content.size())
            return;
        installed.close();
        report({package}, false);
    });
}

void afterRemoval(const QString &package)
{
    QTimer::singleShot(0, [package] {
        if (package.contains(QLatin1Char('/')) || !QFile::remove(installedPath(package)))
            return;
        if (const std::unique_ptr<Client> client = hostService())
            call(*client, 3, {package}, [&](NovumParcel &p) { p.writeString(package); });
    });
}

} // namespace LauncherReporter
