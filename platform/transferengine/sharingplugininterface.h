#pragma once

#include <QString>
#include <QtPlugin>

class SharingPluginInfo;

// What the transfer engine asks of a sharing plug-in: an information object
// that lists the plug-in's share methods, and the plug-in's identifier.
class SharingPluginInterface
{
public:
    virtual ~SharingPluginInterface() = default;
    // A new information object; the caller owns it.
    virtual SharingPluginInfo *infoObject() = 0;
    virtual QString pluginId() const = 0;
};

Q_DECLARE_INTERFACE(SharingPluginInterface, "org.rovidezir.SharingPluginInterface/1.0")
