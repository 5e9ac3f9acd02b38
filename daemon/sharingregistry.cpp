#include "sharingregistry.h"

#include "filereplace.h"
#include "logging.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

SharingRegistry::SharingRegistry(const QString &path)
    : m_path(path)
{
}

QByteArray SharingRegistry::serialise(const QJsonDocument &document)
{
    return document.toJson(QJsonDocument::Indented);
}

void SharingRegistry::start()
{
    const QString dir = QFileInfo(m_path).path() + QLatin1Char('/');
    if (!QDir().mkpath(dir))
        qCWarning(lcLauncher) << "Cannot create directory:" << dir;
    m_document = QJsonDocument();
    if (replaceFile(m_path, serialise(m_document)) != ReplaceResult::Written)
        qCWarning(lcLauncher) << "Unable to write sharing file";
}

void SharingRegistry::addShareTarget(const ApkLauncher &launcher, const QString &iconPath)
{
    qCDebug(lcLauncher) << "Adding" << launcher.packageName << launcher.className << "to sharing plugins";
    QJsonObject top = m_document.object();
    QJsonObject package = top.value(launcher.packageName).toObject();
    package.insert(launcher.className,
                   QJsonObject{{QStringLiteral("label"), launcher.label},
                               {QStringLiteral("caption"), launcher.caption},
                               {QStringLiteral("icon"), iconPath},
                               {QStringLiteral("mimetypes"), QJsonArray::fromStringList(launcher.shareMimeTypes)},
                               {QStringLiteral("multi"), launcher.multi}});
    top.insert(launcher.packageName, package);
    m_document.setObject(top);
    write(serialise(m_document));
}

void SharingRegistry::removePackage(const QString &package)
{
    if (m_document.isEmpty())
        return;
    QJsonObject top = m_document.object();
    top.remove(package);
    m_document.setObject(top);
    const QByteArray content = serialise(m_document);
    if (fileHasContent(m_path, content))
        return;
    qCDebug(lcLauncher) << "Package" << package << "removed from sharing file. Writing.";
    write(content);
}

void SharingRegistry::write(const QByteArray &content)
{
    if (fileHasContent(m_path, content))
        return;
    if (replaceFile(m_path, content) != ReplaceResult::Written)
        qCWarning(lcLauncher) << "Unable to write sharing file";
}
