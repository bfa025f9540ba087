// UUCP lock files ("LCK..ttyUSB0" holding the owner's process id), the convention that
// terminal programs, loggers and other Modbus tools share on Linux: flock and TIOCEXCL
// keep only programs that use them apart. POSIX only; Win32 ports are exclusive anyway.
#pragma once

#include <string>

namespace dd {

// $DRIVEDESK_LOCK_DIR if set and not empty, else /run/lock when it exists, else /var/lock.
std::string LockDirectory();
// Lock file of a device: links (a COMn link among them) resolved first, the path below
// /dev with '/' turned into '_': /dev/ttyUSB0 -> <dir>/LCK..ttyUSB0, /dev/pts/3 -> LCK..pts_3.
std::string LockFilePath(const std::string& device);

// Process id named by the lock of `device` when that process is alive, else 0. A lock
// whose process is gone is stale and removed on the way.
int LiveLockHolder(const std::string& device);
// Name of a running process ("minicom"), "" when unknown.
std::string ProcessName(int pid);

enum class LockOutcome {
  Acquired,     // we created the lock at *lockPath; ReleasePortLock removes it
  HeldByOther,  // a live process holds it: do not open
  NotCreated,   // the directory cannot be written (said once on stderr): rely on flock
};
// Creates the lock atomically; a stale one is removed first. *holder gets the live
// holder's process id for HeldByOther, *lockPath the lock file for Acquired (kept by the
// caller: the device may be gone by the time it closes).
LockOutcome AcquirePortLock(const std::string& device, int* holder, std::string* lockPath);
// Removes a lock file this process created. Locks still held at exit are removed then.
void ReleasePortLock(const std::string& lockPath);

}  // namespace dd
