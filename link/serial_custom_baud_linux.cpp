#include "link/serial_custom_baud.h"

#if defined(__linux__)
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace dd {

bool SetCustomBaudRate(int fd, int32_t baudRate) {
#if defined(__linux__)
  if (baudRate <= 0) return false;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return false;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  tio.c_cflag |= BOTHER;
  tio.c_ispeed = static_cast<speed_t>(baudRate);
  tio.c_ospeed = static_cast<speed_t>(baudRate);
  // Input speed follows the output speed.
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD << IBSHIFT);
  tio.c_cflag |= static_cast<tcflag_t>(BOTHER << IBSHIFT);
  return ioctl(fd, TCSETS2, &tio) == 0;
#else
  (void)fd;
  (void)baudRate;
  return false;
#endif
}

int32_t CurrentBaudRate(int fd) {
#if defined(__linux__)
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return 0;
  return static_cast<int32_t>(tio.c_ospeed);
#else
  (void)fd;
  return 0;
#endif
}

}  // namespace dd
