#include "tests/link/pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "link/modbus_rtu.h"

namespace dd::test {

Bytes Hex(std::string_view text) {
  Bytes bytes;
  std::istringstream in{std::string(text)};
  for (unsigned byte = 0; in >> std::hex >> byte;) bytes.push_back(static_cast<uint8_t>(byte));
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

Bytes ReadUpTo(int fd, std::size_t count, Clock::time_point deadline) {
  Bytes got;
  while (fd >= 0 && got.size() < count && Clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 5) <= 0) continue;
    uint8_t buffer[256];
    const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
  }
  return got;
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

// One Modbus request (length from its function code); empty if none began by the deadline.
Bytes ReadRequest(int fd, Clock::time_point deadline) {
  Bytes request = ReadUpTo(fd, 1, deadline);
  // Once begun, the rest follows within a second. Function 16 carries a byte count at
  // index 6; every other request is 8 bytes.
  deadline = Clock::now() + std::chrono::seconds(1);
  for (std::size_t length = 8; !request.empty() && request.size() < length;) {
    const Bytes got = ReadUpTo(fd, length - request.size(), deadline);
    if (got.empty()) return {};
    request.insert(request.end(), got.begin(), got.end());
    if (request.size() >= 7 && request[1] == 16) length = 9u + request[6];
  }
  return request;
}

}  // namespace

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

bool ScriptedPeer::waitUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds within) const {
  for (const auto deadline = Clock::now() + within; Clock::now() < deadline;
       std::this_thread::yield()) {
    const std::lock_guard lock(mutex_);
    if (done()) return true;
  }
  return false;
}

bool ScriptedPeer::waitForRequests(std::size_t count, std::chrono::milliseconds within) const {
  return waitUntil([&] { return requests_.size() >= count; }, within);
}

bool ScriptedPeer::waitIdle(std::chrono::milliseconds within) const {
  return waitUntil([&] { return answered_ == requests_.size(); }, within);
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
    if (!answer.bytes.empty()) (void)::write(fd_, answer.bytes.data(), answer.bytes.size());
    const std::lock_guard lock(mutex_);
    ++answered_;
  }
}

ScriptedPeer::Handler Answering(Bytes data) {
  return [data](const Bytes& r) {
    if (r[1] == 3 || r[1] == 4) return PeerAnswer{ReadReply(r[0], r[1], data)};
    return PeerAnswer{WithCrc(Bytes(r.begin(), r.begin() + 6))};  // echo of 6 and 16
  };
}

CommandResult CallOperation(const DriveOperation& op, SerialHandle port, int32_t& i, double& d,
                            double write) {
  switch (op.kind) {
    case OperationKind::ReadInt: return op.readInt(port, 1, i);
    case OperationKind::ReadDouble: return op.readDouble(port, 1, d);
    case OperationKind::WriteInt: return op.writeInt(port, 1, static_cast<int32_t>(write));
    case OperationKind::WriteDouble: return op.writeDouble(port, 1, write);
    case OperationKind::Command: return op.command(port, 1);
  }
  return kOk;
}

}  // namespace dd::test
