#include "haldevice.h"

#include <unistd.h>

QString halDevice()
{
    static const char kRuntimeHalDevice[] = "/dev/hwvororoveredi";
    static const char kHostHalDevice[] = "/dev/hwbinder";
    return QString::fromLatin1(access(kRuntimeHalDevice, F_OK) == 0 ? kRuntimeHalDevice : kHostHalDevice);
}
