#include "link/port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

namespace dd {
namespace {

namespace fs = std::filesystem;

std::mutex registryMutex;
// Lock files this process created and has not removed yet. Never destroyed: the exit
// handler that removes them runs after static objects are gone.
std::set<std::string>& Registry() {
  static auto* paths = new std::set<std::string>;
  return *paths;
}

void RemoveOwnLocks() {
  const std::lock_guard lock(registryMutex);
  for (const std::string& path : Registry()) ::unlink(path.c_str());
  Registry().clear();
}

void RegisterOwnLock(const std::string& path) {
  static std::once_flag atExit;
  std::call_once(atExit, [] { std::atexit(RemoveOwnLocks); });
  const std::lock_guard lock(registryMutex);
  Registry().insert(path);
}

bool IsOwnLock(const std::string& path) {
  const std::lock_guard lock(registryMutex);
  return Registry().count(path) != 0;
}

// The process id in a lock file: HDB's ten ASCII characters, or the old binary form.
// 0 when the file is missing; -1 when it holds no process id.
int ReadLockPid(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (content.size() == sizeof(int32_t) && content.find('\n') == std::string::npos &&
      content.find_first_of("0123456789") == std::string::npos) {
    int32_t binary = 0;
    std::memcpy(&binary, content.data(), sizeof binary);
    return binary > 0 ? binary : -1;
  }
  char* end = nullptr;
  const long pid = std::strtol(content.c_str(), &end, 10);
  return pid > 0 && pid < INT32_MAX ? static_cast<int>(pid) : -1;
}

bool ProcessAlive(int pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// Says once per process that locks cannot be made; the port is still opened.
void WarnNotWritable(const std::string& dir, int error) {
  static std::atomic<bool> said{false};
  if (said.exchange(true)) return;
  std::fprintf(stderr, "%s: cannot create lock files in %s (%s); relying on flock alone\n",
               program_invocation_short_name, dir.c_str(), std::strerror(error));
}

// The live holder of the lock at `path` in holder->pid. A stale lock (process gone, no
// process id, or our own id left by an earlier process) is removed; when it cannot be,
// holder->stalePath and staleWhy say so.
void LookAt(const std::string& path, LockHolder* holder) {
  const int pid = ReadLockPid(path);
  if (pid == 0) return;
  const bool ours = pid == ::getpid() && IsOwnLock(path);
  if (ours || (pid != ::getpid() && ProcessAlive(pid))) {
    holder->pid = pid;
    return;
  }
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return;
  holder->stalePath = path;
  holder->staleWhy = (pid > 0 ? "process " + std::to_string(pid) + " no longer exists"
                              : std::string("it names no process")) +
                     "; removing it: " + std::strerror(errno);
}

bool Held(const LockHolder& holder) { return holder.pid != 0 || !holder.stalePath.empty(); }

LockOutcome AcquireOne(const std::string& path, LockHolder* holder) {
  const std::string dir = fs::path(path).parent_path().string();
  char content[16];
  std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
  static std::atomic<unsigned> serial{0};
  const std::string temp =
      dir + "/LTMP." + std::to_string(::getpid()) + "." + std::to_string(++serial);
  for (int attempt = 0; attempt < 3; ++attempt) {
    LookAt(path, holder);
    if (Held(*holder)) return LockOutcome::HeldByOther;
    // Written in full under another name, then linked into place: nobody ever reads a
    // half-written lock, and link() fails if another program got there first.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      WarnNotWritable(dir, errno);
      return LockOutcome::NotCreated;
    }
    (void)::fchmod(fd, 0644);
    const auto length = static_cast<ssize_t>(std::strlen(content));
    const bool written = ::write(fd, content, static_cast<std::size_t>(length)) == length;
    ::close(fd);
    const int linked = written ? ::link(temp.c_str(), path.c_str()) : -1;
    const int linkError = errno;
    ::unlink(temp.c_str());
    if (linked == 0) {
      RegisterOwnLock(path);
      return LockOutcome::Acquired;
    }
    if (!written || linkError != EEXIST) {
      WarnNotWritable(dir, written ? linkError : EIO);
      return LockOutcome::NotCreated;
    }
    // Someone else's lock appeared: look at it again (it may be stale).
  }
  return LockOutcome::HeldByOther;
}

std::vector<std::string> LockPathsOf(const std::string& device) {
  std::vector<std::string> paths{LockFilePath(device)};
  if (std::string link = LinkLockFilePath(device); !link.empty()) paths.push_back(link);
  return paths;
}

}  // namespace

std::string LockDirectory() {
  const char* dir = std::getenv("DRIVEDESK_LOCK_DIR");
  if (dir != nullptr && *dir != '\0') return dir;
  std::error_code error;
  return fs::is_directory("/run/lock", error) ? "/run/lock" : "/var/lock";
}

std::string LockFilePath(const std::string& device) {
  std::error_code error;
  fs::path path = fs::canonical(device, error);
  if (error) path = fs::absolute(device, error).lexically_normal();
  std::string name = path.string();
  if (name.rfind("/dev/", 0) == 0) {
    name.erase(0, 5);
  } else {
    while (!name.empty() && name.front() == '/') name.erase(0, 1);
  }
  for (char& c : name) c = c == '/' ? '_' : c;
  return LockDirectory() + "/LCK.." + name;
}

std::string LinkLockFilePath(const std::string& device) {
  std::error_code error;
  if (device.empty() || !fs::is_symlink(device, error)) return {};
  const std::string path = LockDirectory() + "/LCK.." + fs::path(device).filename().string();
  return path == LockFilePath(device) ? "" : path;
}

LockHolder LockHolderOf(const std::string& device) {
  LockHolder holder;
  for (const std::string& path : LockPathsOf(device)) {
    LookAt(path, &holder);
    if (Held(holder)) break;
  }
  return holder;
}

std::string ProcessName(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

LockOutcome AcquirePortLock(const std::string& device, LockHolder* holder,
                            std::vector<std::string>* lockPaths) {
  LockHolder found;
  std::vector<std::string> taken;
  LockOutcome outcome = LockOutcome::NotCreated;
  for (const std::string& path : LockPathsOf(device)) {
    const LockOutcome one = AcquireOne(path, &found);
    if (one == LockOutcome::HeldByOther) {
      ReleasePortLocks(taken);
      if (holder != nullptr) *holder = found;
      return one;
    }
    if (one == LockOutcome::Acquired) {
      taken.push_back(path);
      outcome = one;
    }
  }
  if (lockPaths != nullptr) *lockPaths = taken;
  return outcome;
}

void ReleasePortLocks(const std::vector<std::string>& lockPaths) {
  const std::lock_guard lock(registryMutex);
  for (const std::string& path : lockPaths) {
    if (Registry().erase(path) != 0 && ReadLockPid(path) == ::getpid()) ::unlink(path.c_str());
  }
}

}  // namespace dd
