// POSIX: an advisory lock on a file in the user's runtime directory.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "app/single_instance.h"

namespace dd {

bool AcquireSingleInstance(const std::string& name) {
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
}

}  // namespace dd
