// UUCP lock files ("LCK..ttyUSB0" holding the owner's process id), the convention that
// terminal programs, loggers and other Modbus tools share on Linux: flock and TIOCEXCL
// keep only programs that use them apart. POSIX only; Win32 ports are exclusive anyway.
#pragma once

#include <string>
#include <vector>

namespace dd {

// $DRIVEDESK_LOCK_DIR if set and not empty, else /run/lock when it exists, else /var/lock.
std::string LockDirectory();
// Lock file of a device: links (a COMn link among them) resolved first, the path below
// /dev with '/' turned into '_': /dev/ttyUSB0 -> <dir>/LCK..ttyUSB0, /dev/pts/3 -> LCK..pts_3.
std::string LockFilePath(const std::string& device);
// Lock file of the name given when that is a link: the link's own name, as programs
// opened on the link name it (minicom -D .../COM11 -> <dir>/LCK..COM11); "" otherwise.
std::string LinkLockFilePath(const std::string& device);

// Who keeps a device's locks (either name): a live process, or a stale lock that
// cannot be removed.
struct LockHolder {
  int pid = 0;            // live holder, 0 when none or unknown
  std::string stalePath;  // a stale lock left in place, "" when none
  std::string staleWhy;   // e.g. "process 4711 no longer exists; removing it: Permission denied"
};
// The holder of the locks of `device`. Stale locks (process gone) are removed on the way.
LockHolder LockHolderOf(const std::string& device);
// Name of a running process ("minicom"), "" when unknown.
std::string ProcessName(int pid);

enum class LockOutcome {
  Acquired,     // we created the locks in *lockPaths; ReleasePortLocks removes them
  HeldByOther,  // a live process, or a stale lock we may not remove, holds one: do not open
  NotCreated,   // the directory cannot be written (said once on stderr): rely on flock
};
// Creates the locks of both names atomically; stale ones are removed first. *holder gets
// who holds it for HeldByOther; *lockPaths the lock files for Acquired (kept by the
// caller: the device may be gone by the time it closes).
LockOutcome AcquirePortLock(const std::string& device, LockHolder* holder,
                            std::vector<std::string>* lockPaths);
// Removes lock files this process created. Locks still held at exit are removed then.
void ReleasePortLocks(const std::vector<std::string>& lockPaths);

}  // namespace dd
