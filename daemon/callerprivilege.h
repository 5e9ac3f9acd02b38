#pragma once

#include "calleropen.h"

// Whether a D-Bus caller counts as privileged: its effective group is
// "privileged" or "disk", or its effective user is "root" (tested in this
// order).
//
// The ids come from /proc/<pid>/status, not from the owner of /proc/<pid>:
// a process that makes itself non-dumpable gets a root-owned /proc
// directory, which must not make it privileged. An unknown pid (0, or a
// process that is gone) is not privileged.
bool isPrivilegedProcess(uint pid);
bool isPrivilegedIdentity(const CallerIdentity &identity);
