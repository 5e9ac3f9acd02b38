#include "settingsentry.h"

#include "filereplace.h"
#include "launchernames.h"
#include "logging.h"
#include "sharingregistry.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

QString SettingsEntry::path(const QString &dir, const QString &desktopEntryPath)
{
    return LauncherNames::childPath(dir, QFileInfo(desktopEntryPath).completeBaseName() + QStringLiteral(".json"));
}

QJsonDocument SettingsEntry::document(const QString &desktopEntryPath, const QString &package,
                                      const QString &version)
{
    const QJsonObject properties{{QStringLiteral("packageName"), package},
                                 {QStringLiteral("packageVersion"), version}};
    const QJsonObject params{
        {QStringLiteral("source"),
         QStringLiteral("/usr/share/kestrel-settings/pages/apk-configuration/apkConfigurationPage.qml")},
        {QStringLiteral("properties"), properties}};
    const QJsonObject entry{{QStringLiteral("path"),
                             QStringLiteral("applications/") + QFileInfo(desktopEntryPath).fileName()},
                            {QStringLiteral("type"), QStringLiteral("page")},
                            {QStringLiteral("params"), params}};
    return QJsonDocument(QJsonObject{{QStringLiteral("entries"), QJsonArray{entry}}});
}

bool SettingsEntry::write(const QString &path, const QJsonDocument &document)
{
    const QByteArray content = SharingRegistry::serialise(document);
    if (fileHasContent(path, content))
        return true;
    if (replaceFile(path, content) != ReplaceResult::Written) {
        qCWarning(lcLauncher) << "Unable to open json file" << path << "for writing";
        return false;
    }
    return true;
}
