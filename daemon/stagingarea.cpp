#include "stagingarea.h"

#include "calleropen.h"
#include "datapath.h"
#include "logging.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString why()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

StagingArea::StagingArea(const QString &dataRoot, uid_t owner, gid_t group)
    : m_dataRoot(dataRoot), m_owner(owner), m_group(group)
{
}

SafeDir StagingArea::openAppDir() const
{
    // The runtime's /data is its own: it only has to be a real directory.
    const SafeDir data = SafeDir::openRoot(dataPath(m_dataRoot, DataRoot)).openChild(QStringLiteral("data"), 0755);
    return data.ownChild(QStringLiteral("qrs-staging"), 0755, m_owner).ownChild(QStringLiteral("app"), 0755, m_owner);
}

void StagingArea::preparePackagedDir() const
{
    if (!openAppDir().ownChild(QStringLiteral("packaged"), 0755, m_owner).isValid())
        qCDebug(lcDaemon) << "Cannot create packaged apk directory:" << dataPath(m_dataRoot, PackagedDir) << why();
}

SafeDir StagingArea::prepareIncomingDir() const
{
    const QString path = dataPath(m_dataRoot, IncomingDir);
    SafeDir dir = openAppDir().ownChild(QStringLiteral("incoming"), 0755, m_owner);
    if (!dir.isValid()) {
        qCWarning(lcDaemon) << "Cannot create incoming apk directory:" << path << why();
        return dir;
    }
    if (!dir.setOwner(m_owner, m_group))
        qCWarning(lcDaemon) << "Cannot set ownership of directory:" << path;
    if (!dir.setMode(0755))
        qCWarning(lcDaemon) << "Cannot set permission of directory:" << path;
    return dir;
}

void StagingArea::removeStaleFiles() const
{
    const SafeDir dir = prepareIncomingDir();
    if (!dir.isValid())
        return;
    for (const QString &name : dir.files()) {
        const QString path = dir.path() + QLatin1Char('/') + name;
        qCDebug(lcDaemon) << "Removing old incoming file:" << path;
        if (!dir.removeFile(name))
            qCDebug(lcDaemon) << "Could not remove file::" << path;
    }
}

bool StagingArea::stage(int sourceFd, const QString &source, const QString &name, QString *target) const
{
    const SafeDir dir = prepareIncomingDir();
    if (!dir.isValid())
        return false;
    const QString temp = name + QStringLiteral(".tmp");
    const QString targetPath = dataPath(m_dataRoot, IncomingDir) + name;
    const QString tempPath = targetPath + QStringLiteral(".tmp");
    if (dir.exists(name)) {
        qCWarning(lcDaemon) << "File already exists in incoming folder:" << targetPath;
        dir.removeFile(name);
    }
    if (dir.exists(temp)) {
        qCWarning(lcDaemon) << "Tmp file already exists in incoming folder:" << tempPath;
        dir.removeFile(temp);
    }
    const int out = dir.createFile(temp, 0600);
    QString error;
    if (out < 0 || !copyBetweenDescriptors(sourceFd, out, &error)) {
        if (out < 0)
            error = why();
        else
            close(out);
        dir.removeFile(temp);
        qCCritical(lcDaemon) << "Could not copy incoming file:" << source << "->" << tempPath << error;
        return false;
    }
    bool ok = true;
    if (!dir.rename(temp, name)) {
        dir.removeFile(temp);
        dir.removeFile(name);
        qCCritical(lcDaemon) << "Could not rename file:" << tempPath << "->" << targetPath;
        ok = false;
    } else if (fchmod(out, 0644) != 0) {
        qCCritical(lcDaemon) << "Cannot change permissions:" << targetPath << "(" << why() << ")";
        ok = false;
    } else if (fchown(out, m_owner, m_group) != 0) {
        qCCritical(lcDaemon) << "Cannot change ownership:" << targetPath << "(" << why() << ")";
        ok = false;
    }
    if (close(out) != 0 && ok) {
        qCCritical(lcDaemon) << "Could not copy incoming file:" << source << "->" << tempPath << why();
        ok = false;
    }
    if (!ok) {
        dir.removeFile(name);
        return false;
    }
    *target = targetPath;
    return true;
}
