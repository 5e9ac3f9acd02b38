#include "apkmanager.h"

ApkManager::ApkManager(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<ApkLauncher>("ApkLauncher");
}
