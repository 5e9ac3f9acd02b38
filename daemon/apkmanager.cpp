#include "apkmanager.h"

#include "logging.h"
#include "novumparcel.h"

namespace {

// MIME types keep empty parts of a non-empty list (Android sends them as
// it has them); the other lists drop them.
QStringList splitMimeTypes(const QString &joined)
{
    return joined.isEmpty() ? QStringList() : joined.split(QLatin1Char(';'));
}

QStringList splitNonEmpty(const QString &joined)
{
    return joined.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

} // namespace

ApkManager::ApkManager(QObject *parent)
    : NovumBinderService(QStringLiteral("novum.launcher"),
                         QStringLiteral("novum.applications.INovumNativeLauncherService"),
                         QStringLiteral("/dev/vororoveredi"), parent)
{
    qRegisterMetaType<ApkLauncher>("ApkLauncher");
}

ApkLauncher ApkManager::readLauncher(NovumParcel &reader)
{
    ApkLauncher launcher;
    launcher.packageName = reader.readString();
    launcher.className = reader.readString();
    launcher.label = reader.readString();
    launcher.version = reader.readString();
    launcher.icon = reader.readByteArray();
    return launcher;
}

ApkLauncher ApkManager::readHandler(NovumParcel &reader)
{
    ApkLauncher handler;
    handler.packageName = reader.readString();
    handler.className = reader.readString();
    handler.label = reader.readString();
    handler.caption = reader.readString();
    handler.version = reader.readString();
    handler.mimeTypes = splitMimeTypes(reader.readString());
    handler.shareMimeTypes = splitNonEmpty(reader.readString());
    handler.multi = reader.readBool();
    const QStringList schemes = splitNonEmpty(reader.readString());
    const QStringList hosts = splitNonEmpty(reader.readString());
    handler.secondFlag = reader.readBool();
    handler.icon = reader.readByteArray();
    for (const QString &scheme : schemes)
        handler.mimeTypes << QStringLiteral("x-scheme-handler/%1").arg(scheme);
    for (const QString &host : hosts)
        handler.mimeTypes << QStringLiteral("x-url-handler/%1").arg(host);
    return handler;
}

bool ApkManager::processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer)
{
    Q_UNUSED(writer)
    switch (code) {
    case LauncherAddedCode:
    case HandlerAddedCode: {
        const ApkLauncher launcher = code == LauncherAddedCode ? readLauncher(reader) : readHandler(reader);
        qCDebug(lcLauncher) << "Read" << launcher.icon.size() << "bytes for" << launcher.packageName << "icon";
        if (code == LauncherAddedCode)
            qCDebug(lcLauncher) << "Launcher added from novum:" << launcher.label << "(" << launcher.packageName << ")";
        else
            qCDebug(lcLauncher) << "Handler added from novum:" << launcher.label << "(" << launcher.packageName << ")";
        emit addLauncher(launcher);
        return true;
    }
    case LaunchersCompleteCode:
        emit launchersComplete();
        return true;
    case PackageRemovedCode: {
        const QString package = reader.readString();
        qCDebug(lcLauncher) << "Package removed from novum:" << package;
        emit packageRemoved(package);
        return true;
    }
    default:
        qCWarning(lcLauncher) << "Unknown binder call (" << code << ")";
        return false;
    }
}
