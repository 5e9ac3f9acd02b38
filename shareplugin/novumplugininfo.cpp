#include "novumplugininfo.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
// ferryd writes one small entry per share activity; a registry beyond this
// is not one of its.
const qint64 kMaxRegistryBytes = 16 * 1024 * 1024;
}

NovumPluginInfo::NovumPluginInfo(QObject *parent)
    : SharingPluginInfo(parent)
{
}

QString NovumPluginInfo::registryPath()
{
    const QByteArray env = qgetenv("FERRYD_SHARING_REGISTRY");
    return env.isEmpty() ? QStringLiteral("/var/lib/ferryd/sharing.json") : QString::fromLocal8Bit(env);
}

QList<SharingMethodInfo> NovumPluginInfo::info() const
{
    return m_methods;
}

void NovumPluginInfo::query()
{
    QJsonDocument document;
    QFile file(registryPath());
    if (file.open(QIODevice::ReadOnly))
        document = QJsonDocument::fromJson(file.read(kMaxRegistryBytes));
    const QJsonObject packages = document.object();
    for (auto p = packages.constBegin(); p != packages.constEnd(); ++p) {
        const QJsonObject activities = p.value().toObject();
        for (auto a = activities.constBegin(); a != activities.constEnd(); ++a) {
            const QJsonObject entry = a.value().toObject();
            SharingMethodInfo method;
            method.setDisplayName(entry.value(QStringLiteral("label")).toString());
            method.setSubtitle(entry.value(QStringLiteral("caption")).toString());
            method.setMethodId(QStringLiteral("%1/%2").arg(p.key(), a.key()));
            method.setMethodIcon(entry.value(QStringLiteral("icon")).toString());
            method.setShareUIPath(QStringLiteral("/usr/share/nemo-transferengine/plugins/sharing/NovumShare.qml"));
            QStringList capabilities;
            for (const QJsonValue &type : entry.value(QStringLiteral("mimetypes")).toArray())
                capabilities << type.toVariant().toString();
            method.setCapabilities(capabilities);
            method.setSupportsMultipleFiles(entry.value(QStringLiteral("multi")).toBool(false));
            m_methods << method;
        }
    }
    emit infoReady();
}
