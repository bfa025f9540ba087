// POSIX (termios) transport. The handle is the file descriptor, never 0.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#if defined(__linux__)
#include <linux/serial.h>
#endif

#include <cerrno>
#include <chrono>
#include <thread>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "link/com_port_map.h"
#include "link/port_lock.h"
#include "link/serial_custom_baud.h"
#include "link/serial_port.h"
#include "link/serial_port_posix.h"

namespace dd {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// termios has no per-descriptor time-outs, so the values of SetPortTimeouts live here.
// The line's speed is kept too: a request cannot have left before its wire time. So are
// the lock file to remove at close and what the open did to the latency timer.
struct Timeouts {
  int32_t readMs = 2;
  int32_t writeMs = 3;
  int64_t nsPerChar = 0;  // 0 = unknown
  std::vector<std::string> lockFiles;  // empty when we hold none
  LatencyTimerState latency;
};

std::mutex timeoutsMutex;
std::unordered_map<int, Timeouts> timeoutsByFd;

Timeouts TimeoutsOf(int fd) {
  const std::lock_guard lock(timeoutsMutex);
  const auto it = timeoutsByFd.find(fd);
  return it == timeoutsByFd.end() ? Timeouts{} : it->second;
}

Timeouts ForgetTimeouts(int fd) {
  const std::lock_guard lock(timeoutsMutex);
  const auto it = timeoutsByFd.find(fd);
  if (it == timeoutsByFd.end()) return {};
  Timeouts record = std::move(it->second);
  timeoutsByFd.erase(it);
  return record;
}

int FdOf(SerialHandle handle) { return static_cast<int>(handle); }

// Opens the device for exclusive use; -1 with *error set (ENOENT missing, EACCES no
// permission, EBUSY held by another opener, ENOTTY not a terminal). Three locks: the
// UUCP lock file for programs that use only that; the advisory flock against every
// other opener, root included (TIOCEXCL does not stop root); TIOCEXCL for programs that
// take neither. *lockFiles names the lock files to remove at close.
int OpenExclusive(const std::string& device, bool markExclusive, int* error,
                  std::vector<std::string>* lockFiles) {
  lockFiles->clear();
  if (device.empty()) {
    *error = ENOENT;
    return -1;
  }
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) {
    *error = errno;
    return -1;
  }
  if (AcquirePortLock(device, nullptr, lockFiles) == LockOutcome::HeldByOther) {
    *error = EBUSY;
    return -1;
  }
  const auto fail = [&](int why, int fd) {
    if (fd >= 0) ::close(fd);
    ReleasePortLocks(*lockFiles);
    lockFiles->clear();
    *error = why;
    return -1;
  };
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return fail(errno, -1);
  if (fd <= 2) {
    // 0 means "no port" to our callers, and 1 and 2 belong to stdout and stderr.
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    if (moved < 0) return fail(errno, -1);
    fd = moved;
  }
  if (::isatty(fd) != 1) return fail(ENOTTY, fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(EBUSY, fd);
  if (markExclusive) (void)::ioctl(fd, TIOCEXCL);
  return fd;
}

// Without this a USB-serial adapter holds received bytes for up to 16 ms, longer than
// the 2 ms gap that ends a read. Refused by ptys and some drivers: then we live with it.
void RequestLowLatency(int fd) {
#if defined(__linux__) && defined(ASYNC_LOW_LATENCY)
  serial_struct serial{};
  if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    (void)::ioctl(fd, TIOCSSERIAL, &serial);
  }
#else
  (void)fd;
#endif
}

// Standard termios speed for the baud rate, or B0 when there is none.
speed_t StandardSpeed(int32_t baudRate) {
  switch (baudRate) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B500000
    case 500000: return B500000;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
    default: return B0;
  }
}

// Slave side of a pseudo-terminal (Unix98 ptys use majors 136 to 143): the simulator's
// end. It has no line, so the kernel drops parity settings.
bool IsPseudoTerminal(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
  const unsigned int deviceMajor = major(info.st_rdev);
  return deviceMajor >= 136 && deviceMajor <= 143;
}

// Waits until the descriptor is ready for `events` or the deadline passes.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return false;
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
  timespec wait{};
  wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
  wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  pollfd entry{fd, events, 0};
  const int ready = ::ppoll(&entry, 1, &wait, nullptr);
  return ready > 0;
}

}  // namespace

std::string PortDeviceName(int32_t portNumber) { return ComPortDevice(portNumber); }

SerialHandle OpenPort(int32_t portNumber, int32_t baudRate, int16_t dataBits, int16_t stopBits,
                      int16_t parity) {
  return OpenPortByPath(PortDeviceName(portNumber), baudRate, dataBits, stopBits, parity);
}

SerialHandle OpenPortByPath(const std::string& device, int32_t baudRate, int16_t dataBits,
                            int16_t stopBits, int16_t parity) {
  int error = 0;
  std::vector<std::string> lockFiles;
  const int fd = OpenExclusive(device, /*markExclusive=*/true, &error, &lockFiles);
  if (fd < 0) return 0;
  RequestLowLatency(fd);
  {
    LatencyTimerState latency = LowerLatencyTimer(device);
    const std::lock_guard lock(timeoutsMutex);
    Timeouts& record = timeoutsByFd[fd];
    record = Timeouts{};
    record.lockFiles = std::move(lockFiles);
    record.latency = std::move(latency);
  }
  // As on Win32, refused settings do not close the port.
  (void)ConfigurePort(fd, baudRate, dataBits, stopBits, parity, 26);
  (void)SetPortTimeouts(fd, 2, 3);
  return fd;
}

int ProbeDevice(const std::string& device) {
  int error = 0;
  std::vector<std::string> lockFiles;
  const int fd = OpenExclusive(device, /*markExclusive=*/false, &error, &lockFiles);
  if (fd < 0) return error != 0 ? error : EIO;
  ::close(fd);
  ReleasePortLocks(lockFiles);
  return 0;
}

SerialHandle ProbePort(int32_t portNumber) {
  // Only "non-zero" matters: nothing stays open.
  return ProbeDevice(PortDeviceName(portNumber)) == 0 ? 1 : 0;
}

void ClosePort(SerialHandle& handle) {
  if (handle == 0) return;
  const int fd = FdOf(handle);
  // The exclusive mark outlives our descriptor on a tty that stays open elsewhere (a pty
  // whose other side is still held), so take it back before closing.
  (void)::ioctl(fd, TIOCNXCL);
  const Timeouts record = ForgetTimeouts(fd);
  ::close(fd);
  ReleasePortLocks(record.lockFiles);
  handle = 0;
}

LatencyTimerState LatencyTimerOf(SerialHandle handle) {
  return handle == 0 ? LatencyTimerState{} : TimeoutsOf(FdOf(handle)).latency;
}

bool ConfigurePort(SerialHandle handle, int32_t baudRate, int16_t dataBits, int16_t stopBits,
                   int16_t parity, int16_t eofChar) {
  // The end-of-file character has no meaning on a raw POSIX line: nothing to set.
  (void)eofChar;
  if (handle == 0) return false;
  const int fd = FdOf(handle);
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) return false;
  if (baudRate > 0) {
    // Start bit, data bits, parity bit if any, stop bits.
    const int64_t bits = 1 + dataBits + (parity != 0 ? 1 : 0) + (stopBits == 2 ? 2 : 1);
    const std::lock_guard lock(timeoutsMutex);
    timeoutsByFd[fd].nsPerChar = bits * 1'000'000'000 / baudRate;
  }

  tcflag_t size = 0;
  switch (dataBits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  // Raw bytes: no echo, no line editing, no signals, no CR/LF or XON/XOFF handling
  // (XON and XOFF are ordinary data bytes in a Modbus frame).
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                        ICRNL | IXON | IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
  tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
  tio.c_cflag |= size | CREAD | CLOCAL;

  // Parity codes as on Win32: 0 none, 1 odd, 2 even, 3 mark, 4 space.
  switch (parity) {
    case 0: break;
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
#endif
    default: return false;
  }
  // Stop-bits codes as on Win32: 0 one, 1 one and a half (no termios form), 2 two.
  switch (stopBits) {
    case 0: break;
    case 2: tio.c_cflag |= CSTOPB; break;
    default: return false;
  }
  // Reads are driven by poll() and our own clock, never by VMIN/VTIME.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;

  const speed_t speed = StandardSpeed(baudRate);
  const bool custom = speed == B0;
  if (custom && baudRate <= 0) return false;
  // A custom rate is set through termios2 right after; B38400 is only a placeholder.
  const speed_t applied = custom ? B38400 : speed;
  if (::cfsetispeed(&tio, applied) != 0 || ::cfsetospeed(&tio, applied) != 0) return false;
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    // glibc reports a partial apply as failure. On a pty only the parity is dropped, and
    // a pty carries bytes, not bits on a line: accept it there if the rest took effect.
    termios applied_now{};
    constexpr tcflag_t kParity = PARENB | PARODD
#ifdef CMSPAR
                                 | CMSPAR
#endif
        ;
    if (!IsPseudoTerminal(fd) || ::tcgetattr(fd, &applied_now) != 0 ||
        (applied_now.c_cflag & ~kParity) != (tio.c_cflag & ~kParity) ||
        applied_now.c_iflag != tio.c_iflag || applied_now.c_lflag != tio.c_lflag) {
      return false;
    }
  }
  return custom ? SetCustomBaudRate(fd, baudRate) : true;
}

int32_t PortBaudRate(SerialHandle handle) { return handle == 0 ? 0 : CurrentBaudRate(FdOf(handle)); }

bool SetPortTimeouts(SerialHandle handle, int32_t readTimeoutMs, int32_t writeTimeoutMs) {
  if (handle == 0 || readTimeoutMs < 0 || writeTimeoutMs < 0) return false;
  const std::lock_guard lock(timeoutsMutex);
  Timeouts& t = timeoutsByFd[FdOf(handle)];
  t.readMs = readTimeoutMs;
  t.writeMs = writeTimeoutMs;
  return true;
}

int32_t WriteFrame(SerialHandle handle, const uint8_t* data, std::size_t size) {
  if (handle == 0 || data == nullptr || size == 0) return 0;
  const int fd = FdOf(handle);
  const Timeouts timeouts = TimeoutsOf(fd);
  const auto begin = Clock::now();
  const auto deadline =
      begin + milliseconds(static_cast<int64_t>(timeouts.writeMs) * (static_cast<int64_t>(size) + 1));
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!WaitReady(fd, POLLOUT, deadline)) break;
    } else {
      break;
    }
  }
  // Drain, bounded by the same deadline: the reply's read clock must start when the
  // request has left, as after a synchronous Win32 write, but a stuck line must not hang.
  int pending = 0;
  while (written > 0 && ::ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0 &&
         Clock::now() < deadline) {
    const timespec pause{0, 100'000};
    ::nanosleep(&pause, nullptr);
  }
  // Some drivers (pseudo-terminals, many USB adapters) report an empty queue while the
  // bytes are still on their way; they cannot have left before their wire time.
  if (written > 0 && timeouts.nsPerChar > 0) {
    auto left = begin + std::chrono::nanoseconds(timeouts.nsPerChar * static_cast<int64_t>(written));
    if (left > deadline) left = deadline;
    std::this_thread::sleep_until(left);
  }
  return static_cast<int32_t>(written);
}

int32_t ReadReply(SerialHandle handle, uint8_t* buffer, int32_t expected) {
  if (handle == 0 || buffer == nullptr || expected <= 0) return 0;
  const int fd = FdOf(handle);
  const Timeouts timeouts = TimeoutsOf(fd);
  const auto start = Clock::now();
  // Total: multiplier x n + constant; both are the read value.
  const auto totalDeadline =
      start + milliseconds(static_cast<int64_t>(timeouts.readMs) * (expected + 1));
  // The interval only counts once the first byte is in.
  const milliseconds interval(timeouts.readMs);
  int32_t received = 0;
  Clock::time_point lastByte{};
  while (received < expected) {
    auto deadline = totalDeadline;
    if (received > 0 && lastByte + interval < deadline) deadline = lastByte + interval;
    if (!WaitReady(fd, POLLIN, deadline)) break;
    const ssize_t n = ::read(fd, buffer + received, static_cast<std::size_t>(expected - received));
    if (n > 0) {
      received += static_cast<int32_t>(n);
      lastByte = Clock::now();
    } else if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
      continue;
    } else {
      break;  // hang-up or error: nothing more will come
    }
  }
  return received;
}

int32_t TakePending(SerialHandle handle, uint8_t* buffer, int32_t max) {
  if (handle == 0 || buffer == nullptr || max <= 0) return 0;
  int32_t taken = 0;
  while (taken < max) {
    // The descriptor is non-blocking: an empty queue ends the loop at once.
    const ssize_t n = ::read(FdOf(handle), buffer + taken, static_cast<std::size_t>(max - taken));
    if (n > 0) {
      taken += static_cast<int32_t>(n);
    } else if (!(n < 0 && errno == EINTR)) {
      break;
    }
  }
  return taken;
}

void PurgePort(SerialHandle handle, bool purgeReceive, bool purgeTransmit) {
  if (handle == 0 || (!purgeReceive && !purgeTransmit)) return;
  const int which = purgeReceive && purgeTransmit ? TCIOFLUSH : purgeReceive ? TCIFLUSH : TCOFLUSH;
  (void)::tcflush(FdOf(handle), which);
}

}  // namespace dd
