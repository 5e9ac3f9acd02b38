#pragma once

#include <QMetaType>
#include <QString>
#include <QStringList>

// One entry of the host's share menu as a plug-in describes it.
class SharingMethodInfo
{
public:
    QString displayName() const { return m_displayName; }
    void setDisplayName(const QString &name) { m_displayName = name; }
    QString subtitle() const { return m_subtitle; }
    void setSubtitle(const QString &subtitle) { m_subtitle = subtitle; }
    // Unique among the engine's methods; handed back to the share page.
    QString methodId() const { return m_methodId; }
    void setMethodId(const QString &id) { m_methodId = id; }
    // Path or name of the icon shown with the entry.
    QString methodIcon() const { return m_methodIcon; }
    void setMethodIcon(const QString &icon) { m_methodIcon = icon; }
    // The page that takes the share.
    QString shareUIPath() const { return m_shareUIPath; }
    void setShareUIPath(const QString &path) { m_shareUIPath = path; }
    // MIME types the method accepts.
    QStringList capabilities() const { return m_capabilities; }
    void setCapabilities(const QStringList &types) { m_capabilities = types; }
    bool supportsMultipleFiles() const { return m_supportsMultipleFiles; }
    void setSupportsMultipleFiles(bool multiple) { m_supportsMultipleFiles = multiple; }

    bool operator==(const SharingMethodInfo &other) const;

private:
    QString m_displayName;
    QString m_subtitle;
    QString m_methodId;
    QString m_methodIcon;
    QString m_shareUIPath;
    QStringList m_capabilities;
    bool m_supportsMultipleFiles = false;
};

Q_DECLARE_METATYPE(SharingMethodInfo)
