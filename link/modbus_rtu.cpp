#include "link/modbus_rtu.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "link/value_codec.h"

namespace dd {

uint16_t Crc16(const uint8_t* data, std::size_t size) {
  uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) {
      const bool carry = (crc & 1u) != 0;
      crc = static_cast<uint16_t>(crc >> 1);
      if (carry) crc ^= 0xA001;
    }
  }
  return crc;
}

void AppendCrc(uint8_t* frame, std::size_t n) {
  const uint16_t crc = Crc16(frame, n);
  frame[n] = static_cast<uint8_t>(crc & 0xFF);
  frame[n + 1] = static_cast<uint8_t>(crc >> 8);
}

bool CheckCrc(const uint8_t* reply, std::size_t n) {
  if (n < 3) return false;
  const uint16_t crc = Crc16(reply, n - 2);
  return reply[n - 2] == (crc & 0xFF) && reply[n - 1] == (crc >> 8);
}

namespace {

FrameTrace& TraceSink() {
  static FrameTrace sink;
  return sink;
}

void Trace(bool transmit, std::span<const uint8_t> bytes) {
  if (const FrameTrace& sink = TraceSink()) sink(transmit, bytes);
}

using Clock = std::chrono::steady_clock;

// A drive may still answer after its read gave up (the fault soak's late replies come
// 60 ms after their time). Until the line has been quiet this long after the give-up,
// whatever arrives is discarded before a request for anything else goes out.
constexpr auto kLateReplyGuard = std::chrono::milliseconds(60);
// A drive that sent part of its reply is not late: only the rest of that reply can follow
// (the soak's split replies resume 10 ms after their first part).
constexpr auto kPartialReplyGuard = std::chrono::milliseconds(15);
// Once bytes came, the rest of that reply follows within a few character times.
constexpr auto kQuietAfterBytes = std::chrono::milliseconds(5);
// A line that never falls quiet (noise, a second master) must not hold the bus.
constexpr auto kGuardLimit = std::chrono::milliseconds(250);

struct UnansweredRequest {
  std::vector<uint8_t> request;
  Clock::time_point quietUntil;
};

std::mutex unansweredMutex;
std::unordered_map<SerialHandle, UnansweredRequest> unansweredByPort;

void RememberUnanswered(SerialHandle port, std::span<const uint8_t> request, bool partReceived) {
  const std::lock_guard lock(unansweredMutex);
  unansweredByPort[port] = {std::vector<uint8_t>(request.begin(), request.end()),
                            Clock::now() + (partReceived ? kPartialReplyGuard : kLateReplyGuard)};
}

// A retry of the unanswered request goes out at once: its late reply carries the same
// register and is a fair answer. Anything else waits for the guard.
void DiscardLateReply(SerialHandle port, std::span<const uint8_t> request) {
  Clock::time_point quietUntil;
  {
    const std::lock_guard lock(unansweredMutex);
    const auto it = unansweredByPort.find(port);
    if (it == unansweredByPort.end()) return;
    if (std::ranges::equal(it->second.request, request)) return;
    quietUntil = it->second.quietUntil;
    unansweredByPort.erase(it);
  }
  const auto limit = Clock::now() + kGuardLimit;
  uint8_t byte = 0;
  // One-byte reads wait at most the read time-out for a single byte (4 ms).
  for (auto now = Clock::now(); now < quietUntil && now < limit; now = Clock::now()) {
    if (ReadReply(port, &byte, 1) == 1) quietUntil = std::max(quietUntil, Clock::now() + kQuietAfterBytes);
  }
}

}  // namespace

void SetFrameTrace(FrameTrace trace) { TraceSink() = std::move(trace); }

std::string_view CommandResultName(CommandResult result) {
  switch (result) {
    case kOk: return "Ok";
    case kShortReply: return "ShortReply";
    case kBadCrc: return "BadCrc";
    case kNoPort: return "NoPort";
    case kValueOutOfRange: return "ValueOutOfRange";
    default: return "Unknown";
  }
}

std::array<uint8_t, 8> BuildReadRequest(uint8_t address, uint8_t function, uint16_t reg,
                                        uint16_t count) {
  std::array<uint8_t, 8> frame{};
  frame[0] = address;
  frame[1] = function;
  EncodeU16(reg, std::span<uint8_t, 2>(frame.data() + 2, 2));
  EncodeU16(count, std::span<uint8_t, 2>(frame.data() + 4, 2));
  AppendCrc(frame.data(), 6);
  return frame;
}

std::array<uint8_t, 8> BuildWriteOneRequest(uint8_t address, uint16_t reg,
                                            std::span<const uint8_t, 2> value) {
  std::array<uint8_t, 8> frame{};
  frame[0] = address;
  frame[1] = kWriteSingle;
  EncodeU16(reg, std::span<uint8_t, 2>(frame.data() + 2, 2));
  frame[4] = value[0];
  frame[5] = value[1];
  AppendCrc(frame.data(), 6);
  return frame;
}

std::vector<uint8_t> BuildWriteMultipleRequest(uint8_t address, uint16_t reg,
                                               std::span<const uint8_t> data) {
  std::vector<uint8_t> frame(7 + data.size() + 2, 0);
  frame[0] = address;
  frame[1] = kWriteMultiple;
  EncodeU16(reg, std::span<uint8_t, 2>(frame.data() + 2, 2));
  EncodeU16(static_cast<uint16_t>(data.size() / 2), std::span<uint8_t, 2>(frame.data() + 4, 2));
  frame[6] = static_cast<uint8_t>(data.size());
  std::copy(data.begin(), data.end(), frame.begin() + 7);
  AppendCrc(frame.data(), 7 + data.size());
  return frame;
}

CommandResult Transact(SerialHandle port, std::span<const uint8_t> request,
                       std::span<uint8_t> reply) {
  if (port == 0) return kNoPort;
  DiscardLateReply(port, request);
  // A reply that came after an earlier read gave up must not pass for this one's.
  PurgePort(port, true, true);
  Trace(true, request);
  if (WriteFrame(port, request.data(), request.size()) == 0) return kShortReply;
  const int32_t received = ReadReply(port, reply.data(), static_cast<int32_t>(reply.size()));
  Trace(false, reply.first(static_cast<std::size_t>(received > 0 ? received : 0)));
  if (received != static_cast<int32_t>(reply.size())) {
    RememberUnanswered(port, request, received > 0);
    return kShortReply;
  }
  PurgePort(port, true, true);
  if (!CheckCrc(reply.data(), reply.size())) return kBadCrc;
  // Bytes of two replies can join into one that passes the CRC: a 5-byte exception reply
  // ends in its own CRC, so it and any two zero bytes after it check out. Such a reply
  // names another function code or byte count than the request asks for.
  // Likewise a late reply to an earlier request can arrive in this one's place: a write's
  // reply must repeat this request's register and value (function 6) or count (16).
  if (reply[1] != request[1]) return kBadCrc;
  const bool read = request[1] == kReadHolding || request[1] == kReadInput;
  if (read && reply[2] != reply.size() - 5) return kBadCrc;
  if (!read && !std::equal(request.begin() + 2, request.begin() + 6, reply.begin() + 2)) {
    return kBadCrc;
  }
  return kOk;
}

}  // namespace dd
