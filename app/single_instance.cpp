#include "app/single_instance.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace dd {

bool AcquireSingleInstance(const std::string& name) {
#ifdef _WIN32
  // A named mutex lives until the last handle closes, i.e. until the process is gone.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, ("Local\\" + name + ".instance").c_str());
  return mutex != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
#else
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/" + name + ".instance.lock";
  // The file may outlive a crash; the lock on it never does. The descriptor stays open
  // (and locked) for the life of the process, children do not inherit it.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return true;  // cannot tell: rather start than refuse a lone copy
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  return true;
#endif
}

}  // namespace dd
