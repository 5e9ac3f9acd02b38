#include "novumdeviceidle.h"

NovumDeviceIdle::NovumDeviceIdle(QObject *parent)
    : NovumBinderConnection(QStringLiteral("deviceidle"), QStringLiteral("android.os.IDeviceIdleController"), false, parent)
{
}
