#include "novumactivitymanager.h"

NovumActivityManager::NovumActivityManager(QObject *parent)
    : NovumBinderConnection(QStringLiteral("activity"), QStringLiteral("android.app.IActivityManager"), true, parent)
{
}
