#pragma once

#include "apklauncher.h"

#include <QString>

// How launchers are named on the host, and which names are accepted.
//
// The daemon runs as root and every name comes from the Android side, which
// runs third-party code: only what Android itself allows for package and
// class names is turned into file names and "Exec" lines, and every path is
// checked to stay in its directory.
class LauncherNames
{
public:
    // "_" becomes "__", then "." becomes "_".
    static QString escape(const QString &name);
    // Dot-separated segments of [A-Za-z][A-Za-z0-9_]*.
    static bool isValidPackageName(const QString &name);
    // Characters of [A-Za-z0-9_.$], at least one.
    static bool isValidClassName(const QString &name);
    // Line breaks and other control characters, which would end a desktop
    // entry line and start a key of the sender's choice.
    static bool hasControlCharacters(const QString &text);
    // Empty when the launcher may be written; else why not.
    static QString rejection(const ApkLauncher &launcher);

    // "ferryd_handler_" or "ferryd_launcher_", the escaped names, ".desktop".
    static QString desktopEntryFileName(const ApkLauncher &launcher);
    // dir + name when name is a single plain file name (no "/", not "." or
    // "..", at most NAME_MAX bytes); else empty.
    static QString childPath(const QString &dir, const QString &name);
};
