#include "installfailuretext.h"

#include <QCoreApplication>

const char *installFailureTextId(int code)
{
    switch (code) {
    case -115: // ABORTED
    case -22:  // VERIFICATION_FAILURE
    case -21:  // VERIFICATION_TIMEOUT
        return "Aborted";
    case -113: // NO_MATCHING_ABIS
    case -111: // USER_RESTRICTED
    case -17:  // MISSING_FEATURE
    case -16:  // CPU_ABI_INCOMPATIBLE
    case -14:  // NEWER_SDK
    case -12:  // OLDER_SDK
    case -9:   // MISSING_SHARED_LIBRARY
        return "ferryd-install-fail-incompat";
    case -112: // DUPLICATE_PERMISSION
    case -25:  // VERSION_DOWNGRADE
    case -24:  // UID_CHANGED
    case -13:  // CONFLICTING_PROVIDER
    case -10:  // REPLACE_COULDNT_DELETE
    case -8:   // SHARED_USER_INCOMPATIBLE
    case -7:   // UPDATE_INCOMPATIBLE
    case -6:   // NO_SHARED_USER
    case -5:   // DUPLICATE_PACKAGE
    case -1:   // ALREADY_EXISTS
        return "ferryd-install-fail-conflict";
    case -26:  // PERMISSION_MODEL_DOWNGRADE
    case -23:  // PACKAGE_CHANGED
    case -15:  // TEST_ONLY
    case -11:  // DEXOPT
    case -3:   // INVALID_URI
    case -2:   // INVALID_APK
        return "ferryd-install-fail-invalid";
    case -20:  // MEDIA_UNAVAILABLE
    case -19:  // INVALID_INSTALL_LOCATION
    case -18:  // CONTAINER_ERROR
    case -4:   // INSUFFICIENT_STORAGE
        return "ferryd-install-fail-storage";
    default:
        break;
    }
    if (code >= -109 && code <= -100)   // the parse failures
        return "ferryd-install-fail-invalid";
    return "ferryd-install-fail-other";
}

QString installFailureText(int code)
{
    return qtTrId(installFailureTextId(code));
}
