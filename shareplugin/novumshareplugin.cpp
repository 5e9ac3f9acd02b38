#include "novumshareplugin.h"

#include "novumplugininfo.h"

NovumSharePlugin::NovumSharePlugin(QObject *parent)
    : QObject(parent)
{
}

SharingPluginInfo *NovumSharePlugin::infoObject()
{
    return new NovumPluginInfo;
}

QString NovumSharePlugin::pluginId() const
{
    return QStringLiteral("Android App");
}
