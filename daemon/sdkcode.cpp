#include "sdkcode.h"

#include "logging.h"

int sdkCode(int sdk, int code27, int code28, int code29)
{
    switch (sdk) {
    case 27:
        return code27;
    case 28:
        return code28;
    case 29:
        return code29;
    default:
        qCCritical(lcBinder) << "Unsupported android SDK version!";
        return code29;
    }
}
