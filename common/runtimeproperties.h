#pragma once

#include <QString>

// The Android runtime's version, read from its build-properties file
// ("/opt/novum//build.prop"; the environment variable FERRY_BUILD_PROP
// names another file, for test set-ups and the runtime simulator).
//
// Values are cached for the life of the process once found. While a value
// is still unknown (0 or empty) each call reads the file again, so a file
// that appears or gains the key later is picked up; a runtime upgrade that
// changes a known value needs a new process.

// "ro.build.version.sdk" as a number, 0 when missing or not a number.
int sdkVersion();
// "ro.build.version.release", empty when missing.
QString androidRelease();
// "ro.build.version.security_patch", empty when missing.
QString securityPatch();
