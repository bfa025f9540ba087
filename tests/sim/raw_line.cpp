#include "raw_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "link/modbus_rtu.h"

namespace dd::test {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> out;
  int nibbles = 0;
  unsigned value = 0;
  for (char c : text) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    if (v < 0) continue;
    value = value * 16 + static_cast<unsigned>(v);
    if (++nibbles == 2) {
      out.push_back(static_cast<uint8_t>(value));
      nibbles = 0;
      value = 0;
    }
  }
  return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02X" : " %02X", bytes[i]);
    s += buf;
  }
  return s;
}

std::vector<uint8_t> WithCrc(const std::string& hexWithoutCrc) {
  std::vector<uint8_t> f = Hex(hexWithoutCrc);
  const std::size_t n = f.size();
  f.resize(n + 2);
  AppendCrc(f.data(), n);
  return f;
}

static speed_t BaudConstant(uint32_t baud) {
  switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 230400: return B230400;
    default: return B115200;
  }
}

RawLine::RawLine(const std::string& device, uint32_t baud, bool oddParity) {
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  termios t{};
  tcgetattr(fd_, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, BaudConstant(baud));
  cfsetospeed(&t, BaudConstant(baud));
  t.c_cflag |= PARENB | CLOCAL | CREAD;
  if (oddParity) t.c_cflag |= PARODD;
  tcsetattr(fd_, TCSANOW, &t);
  tcflush(fd_, TCIOFLUSH);
}

RawLine::~RawLine() {
  if (fd_ >= 0) close(fd_);
}

bool RawLine::Send(const std::vector<uint8_t>& bytes) {
  return fd_ >= 0 && write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

std::vector<uint8_t> RawLine::Receive(std::size_t count, std::chrono::milliseconds timeout) {
  std::vector<uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (fd_ >= 0 && got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    uint8_t buf[256];
    const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
    if (n <= 0) break;
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

}  // namespace dd::test
