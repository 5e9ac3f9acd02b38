#include "sharingmethodinfo.h"

bool SharingMethodInfo::operator==(const SharingMethodInfo &other) const
{
    return m_displayName == other.m_displayName && m_subtitle == other.m_subtitle &&
           m_methodId == other.m_methodId && m_methodIcon == other.m_methodIcon &&
           m_shareUIPath == other.m_shareUIPath && m_capabilities == other.m_capabilities &&
           m_supportsMultipleFiles == other.m_supportsMultipleFiles;
}
