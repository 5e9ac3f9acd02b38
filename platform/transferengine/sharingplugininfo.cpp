#include "sharingplugininfo.h"

SharingPluginInfo::SharingPluginInfo(QObject *parent)
    : QObject(parent)
{
}

SharingPluginInfo::~SharingPluginInfo() = default;
