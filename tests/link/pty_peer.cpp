#include "tests/link/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "link/modbus_rtu.h"

namespace dd::test {

using Clock = std::chrono::steady_clock;

Bytes Hex(std::string_view text) {
  Bytes bytes;
  std::string token;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == ' ') {
      if (!token.empty()) bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
      token.clear();
    } else {
      token += text[i];
    }
  }
  return bytes;
}

std::string ToHex(std::span<const uint8_t> bytes) {
  std::string text;
  char hex[4];
  for (const uint8_t byte : bytes) {
    std::snprintf(hex, sizeof hex, text.empty() ? "%02X" : " %02X", byte);
    text += hex;
  }
  return text;
}

Bytes WithCrc(Bytes frame) {
  const std::size_t n = frame.size();
  frame.resize(n + 2);
  AppendCrc(frame.data(), n);
  return frame;
}

Bytes ReadReply(uint8_t address, uint8_t function, std::span<const uint8_t> data) {
  Bytes reply{address, function, static_cast<uint8_t>(data.size())};
  reply.insert(reply.end(), data.begin(), data.end());
  return WithCrc(reply);
}

PtyPair::PtyPair() {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  slavePath_ = ::ptsname(master_);
  keeper_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  // The master side passes bytes unchanged too.
  termios tio{};
  if (keeper_ >= 0 && ::tcgetattr(keeper_, &tio) == 0) {
    ::cfmakeraw(&tio);
    ::tcsetattr(keeper_, TCSANOW, &tio);
  }
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
  if (keeper_ >= 0) ::close(keeper_);
  if (master_ >= 0) ::close(master_);
}

int PtyPair::pendingAtSlave() const {
  int pending = 0;
  ::ioctl(keeper_, FIONREAD, &pending);
  return pending;
}

namespace {

// Reads exactly n bytes unless the deadline passes first.
bool ReadExactly(int fd, uint8_t* out, std::size_t n, Clock::time_point deadline) {
  std::size_t got = 0;
  while (got < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(std::min<int64_t>(left.count(), 5))) <= 0) continue;
    const ssize_t r = ::read(fd, out + got, n - got);
    if (r > 0) got += static_cast<std::size_t>(r);
  }
  return true;
}

}  // namespace

Bytes ReadRequest(int fd, Clock::time_point deadline) {
  Bytes request(7);
  if (!ReadExactly(fd, request.data(), 2, deadline)) return {};
  // The request has begun: give the rest time to come even if the wait was nearly over.
  deadline = Clock::now() + std::chrono::seconds(1);
  // Function 16 carries a byte count at index 6; every other request is 8 bytes.
  const std::size_t total = request[1] == 16 ? 0 : 8;
  if (total == 8) {
    request.resize(8);
    if (!ReadExactly(fd, request.data() + 2, 6, deadline)) return {};
    return request;
  }
  if (!ReadExactly(fd, request.data() + 2, 5, deadline)) return {};
  request.resize(7 + request[6] + 2);
  if (!ReadExactly(fd, request.data() + 7, request[6] + 2u, deadline)) return {};
  return request;
}

ScriptedPeer::ScriptedPeer(int masterFd, Handler handler)
    : fd_(masterFd), handler_(std::move(handler)), thread_([this] { run(); }) {}

ScriptedPeer::~ScriptedPeer() {
  stop_ = true;
  thread_.join();
}

std::vector<Bytes> ScriptedPeer::requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptedPeer::waitForRequests(std::size_t count, std::chrono::milliseconds within) const {
  const auto deadline = Clock::now() + within;
  while (Clock::now() < deadline) {
    {
      const std::lock_guard lock(mutex_);
      if (requests_.size() >= count) return true;
    }
    std::this_thread::yield();
  }
  return false;
}

bool ScriptedPeer::waitIdle(std::chrono::milliseconds within) const {
  const auto deadline = Clock::now() + within;
  while (Clock::now() < deadline) {
    {
      const std::lock_guard lock(mutex_);
      if (answered_ == requests_.size()) return true;
    }
    std::this_thread::yield();
  }
  return false;
}

void ScriptedPeer::run() {
  while (!stop_) {
    Bytes request = ReadRequest(fd_, Clock::now() + std::chrono::milliseconds(20));
    if (request.empty()) continue;
    {
      const std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const PeerAnswer answer = handler_(request);
    if (answer.delay.count() > 0) std::this_thread::sleep_for(answer.delay);
    if (!answer.bytes.empty()) {
      (void)::write(fd_, answer.bytes.data(), answer.bytes.size());
    }
    const std::lock_guard lock(mutex_);
    ++answered_;
  }
}

}  // namespace dd::test
