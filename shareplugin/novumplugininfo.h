#pragma once

#include "sharingplugininfo.h"

// The Android share targets of the sharing registry as share methods: one
// per activity, ordered by package and then activity, all opening the same
// share page, which hands the share to ferryd with the method identifier
// "package/activity".
class NovumPluginInfo : public SharingPluginInfo
{
    Q_OBJECT
public:
    explicit NovumPluginInfo(QObject *parent = nullptr);

    QList<SharingMethodInfo> info() const override;
    // Reads the registry (a missing or malformed one holds no methods) and
    // emits infoReady().
    void query() override;

    // "/var/lib/ferryd/sharing.json", or FERRYD_SHARING_REGISTRY when set.
    static QString registryPath();

private:
    QList<SharingMethodInfo> m_methods;
};
