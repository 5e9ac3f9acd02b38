#pragma once

#include "sharingplugininterface.h"

#include <QObject>

// The transfer engine's plug-in for Android share targets.
class NovumSharePlugin : public QObject, public SharingPluginInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.kestrel.share.plugin.qrs" FILE "novumshareplugin.json")
    Q_INTERFACES(SharingPluginInterface)
public:
    explicit NovumSharePlugin(QObject *parent = nullptr);

    SharingPluginInfo *infoObject() override;
    QString pluginId() const override;
};
