// Kept free of <termios.h>: termios2 (any baud rate, e.g. 250000) needs the kernel's
// own definitions, which clash with the C library's.
#include "sim/pty_line.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

extern "C" int ioctl(int fd, unsigned long request, ...);
extern "C" int posix_openpt(int flags);
extern "C" int grantpt(int fd);
extern "C" int unlockpt(int fd);
extern "C" int ptsname_r(int fd, char* buf, size_t buflen);

namespace dd {

int OpenPtyMaster(uint32_t baud, std::string& slavePath) {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  char name[128] = {};
  if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
    close(fd);
    return -1;
  }
  struct termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) {
    close(fd);
    return -1;
  }
  // Raw: nothing may touch the frames, whichever side reads them.
  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = CS8 | CREAD | CLOCAL | PARENB | BOTHER;
  t.c_ispeed = baud;
  t.c_ospeed = baud;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (ioctl(fd, TCSETS2, &t) != 0) {
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  slavePath = name;
  return fd;
}

bool ReadLineSettings(int masterFd, LineSettings& settings) {
  struct termios2 t{};
  if (ioctl(masterFd, TCGETS2, &t) != 0) return false;
  settings.baud = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
  }
  settings.parity = (t.c_cflag & PARENB) != 0;
  settings.oddParity = (t.c_cflag & PARODD) != 0;
  return true;
}

std::string ComLinkPath(int n) {
  const char* dir = std::getenv("DRIVEDESK_PORT_DIR");
  std::string base = (dir != nullptr && *dir != '\0') ? dir : "/tmp/drivedesk-ports";
  return base + "/COM" + std::to_string(n);
}

bool MakeLink(const std::string& link, const std::string& target) {
  const auto slash = link.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string dir = link.substr(0, slash);
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  const std::string temp = link + ".tmp" + std::to_string(getpid());
  unlink(temp.c_str());
  if (symlink(target.c_str(), temp.c_str()) != 0) return false;
  if (rename(temp.c_str(), link.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

void RemoveLinkTo(const std::string& link, const std::string& target) {
  char buf[PATH_MAX] = {};
  const ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n > 0 && std::string(buf, static_cast<size_t>(n)) == target) unlink(link.c_str());
}

}  // namespace dd
