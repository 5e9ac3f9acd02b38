// Finding Android's system_server among the host's processes.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace halcyon {

// Where pidof is looked for, in order: the traditional path first, then
// where distributions put it today.
const std::vector<std::string> &pidofCandidates();
// The first candidate that is an executable file, empty if none is.
std::string findPidof();

// The pid in pidof's first output line ("1234\n", or several pids of which
// the first counts); 0 with an error line when there is none.
pid_t parsePidofLine(const std::string &line);

// Runs pidof for "system_server"; 0 when it is not running or pidof
// cannot run.
pid_t systemServerPid();

} // namespace halcyon
