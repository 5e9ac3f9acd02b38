#pragma once

#include <QString>
#include <QStringList>

// Where the desktop side of the daemon reads and writes. The defaults are
// the phone's own directories; each can be moved by the environment so
// that tests run against a temporary tree and never touch the machine's.
struct DesktopLocations
{
    QString applicationsDir;      // desktop entries (ends in "/")
    QString iconDir;              // icons (ends in "/")
    QString settingsEntriesDir;   // settings entries (ends in "/")
    QString sharingRegistry;      // the sharing registry file
    QString desktopDatabaseTool;  // program that updates the MIME cache
    QStringList blacklistFiles;   // app blacklist sources, in reading order
    QString partnerSpaceDir;      // partner-space markers (ends in "/")

    // FERRYD_APPLICATIONS_DIR, FERRYD_ICON_DIR, FERRYD_SETTINGS_ENTRIES_DIR,
    // FERRYD_SHARING_REGISTRY, FERRYD_DESKTOP_DATABASE_TOOL and
    // FERRYD_PARTNERSPACE_DIR override the defaults; the blacklist is
    // /etc/ferryd/app-blacklist followed by FERRYD_PACKAGE_BLACKLIST_PATH
    // when that is set and not empty.
    static DesktopLocations fromEnvironment();

    static QString defaultApplicationsDir();
    // Whether applicationsDir is the system's own (the desktop database
    // tool then needs no directory argument).
    bool usesSystemApplicationsDir() const;
};
