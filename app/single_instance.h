// One copy of the program at a time, also while the first is still shutting down.
#pragma once

#include <string>

namespace dd {

// Takes the process-wide instance lock (on POSIX an advisory file lock, on Windows a
// named mutex; the kernel drops either when the process ends, however it ends). Returns false if another copy holds it. `name`
// selects the lock, so tests can use their own.
bool AcquireSingleInstance(const std::string& name = "drivedesk");

}  // namespace dd
