#pragma once

#include "safedir.h"

#include <QString>

#include <sys/types.h>

// The daemon's directories in the runtime's data tree, where APKs wait for
// the package manager: "data/qrs-staging/app/incoming" (copies staged by
// the daemon) and ".../packaged" (APKs that came with system packages).
//
// "data" is the runtime's own /data: its processes can write there and
// plant links anywhere below. Every step is therefore taken through
// SafeDir, and the directories below "data" must be real directories
// owned by the daemon's user; anything else in their place is replaced.
class StagingArea
{
public:
    // owner/group: who the directories and staged files belong to (root in
    // the daemon).
    explicit StagingArea(const QString &dataRoot, uid_t owner = 0, gid_t group = 0);

    // Makes the packaged directory; failures are only logged (debug).
    void preparePackagedDir() const;
    // The incoming directory, created or replaced as needed, with owner
    // and mode 0755; invalid (and logged) when it cannot be had.
    SafeDir prepareIncomingDir() const;
    // Deletes the regular files and links left in the incoming directory.
    void removeStaleFiles() const;
    // Copies from sourceFd (source names it for the logs) to the incoming
    // file `name`, through "name.tmp", mode 0644 and the owner's. On
    // success *target is its host path.
    bool stage(int sourceFd, const QString &source, const QString &name, QString *target) const;

private:
    SafeDir openAppDir() const;

    QString m_dataRoot;
    uid_t m_owner;
    gid_t m_group;
};
