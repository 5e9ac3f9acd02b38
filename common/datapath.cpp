#include "datapath.h"

#include "logging.h"

#include <QRegularExpression>

namespace {

const QString kHomePrefix = QStringLiteral("/home/");
const QString kAndroidStorage = QStringLiteral("/android_storage");
const QString kEmulatedStorage = QStringLiteral("/storage/emulated/0");
// Android mounts the user's home as a storage volume with this fixed id.
const QString kHomeVolume = QStringLiteral("/storage/8ff87de4-0b37-4799-b09a-82773e869e07");
const QString kMediaPrefix = QStringLiteral("/run/media/");

// True when path is dir itself or lies below it; a bare prefix such as
// "/android_storage_old" must not count as the directory "/android_storage".
bool isAtOrBelow(const QString &path, const QString &dir)
{
    return path == dir || path.startsWith(dir + QLatin1Char('/'));
}

} // namespace

QString dataRoot()
{
    if (qEnvironmentVariableIsSet("ANDROID_DATA_ROOT")) {
        const QString root = qEnvironmentVariable("ANDROID_DATA_ROOT");
        qCDebug(lcConfig) << "Using custom path for apps + data: " << root;
        return root;
    }
    return QStringLiteral("/home/.android");
}

QString dataPath(const QString &dataRoot, DataPath kind)
{
    switch (kind) {
    case DataRoot:
        return dataRoot;
    case AppDir:
        return QStringLiteral("%1/data/app/").arg(dataRoot);
    case IncomingDir:
        return QStringLiteral("%1/data/qrs-staging/app/incoming/").arg(dataRoot);
    case PackagedDir:
        return QStringLiteral("%1/data/qrs-staging/app/packaged/").arg(dataRoot);
    case AppDataDir:
        return QStringLiteral("%1/data/data/").arg(dataRoot);
    }
    qCWarning(lcConfig) << "Cannot handle symbolic path:" << int(kind);
    return QString();
}

QString toAndroidPath(const QString &hostPath)
{
    qCDebug(lcConfig) << "Orig path: " << hostPath;
    QString path = hostPath;
    if (path.startsWith(QLatin1String("file:/")))
        path = QUrl(path).toLocalFile();

    if (path.startsWith(kHomePrefix)) {
        static const QRegularExpression userHome(QStringLiteral("^\\/home\\/[^\\/]*"));
        path.remove(userHome);
        qCDebug(lcConfig) << "Removed home:" << path;
        // Only the leading android_storage is the mount point of the
        // emulated storage; a folder of that name further down is just a
        // folder and keeps its name.
        if (isAtOrBelow(path, kAndroidStorage))
            path.replace(0, kAndroidStorage.size(), kEmulatedStorage);
        else
            path.prepend(kHomeVolume);
    } else if (path.startsWith(kMediaPrefix)) {
        static const QRegularExpression userMedia(QStringLiteral("^\\/run\\/media\\/[^\\/]*"));
        path.replace(userMedia, QStringLiteral("/storage"));
    }

    qCDebug(lcConfig) << "Final path: " << path;
    return path;
}

QUrl toAndroidUrl(const QString &hostPath)
{
    const QString path = toAndroidPath(hostPath);
    if (path.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(path);
    return QUrl(path, QUrl::TolerantMode);
}
