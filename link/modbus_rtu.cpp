#include "link/modbus_rtu.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "link/frame_meaning.h"
#include "link/frame_trace.h"
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

// What the last transaction on a port left behind: its request (a retry is the same
// request again after a failure) and whether a late reply to it may still come.
struct PortHistory {
  std::vector<uint8_t> lastRequest;
  bool lastFailed = false;
  int attempt = 0;
  bool awaitingLate = false;
  bool lastSilent = false;  // not one byte of the last reply came
  Clock::time_point quietUntil;
};

std::mutex historyMutex;
std::unordered_map<SerialHandle, PortHistory> historyByPort;

// How this thread's requests treat the guard (StopPriority, YieldToStops).
enum class GuardRole { Wait, Skip, Yield };
thread_local GuardRole guardRole = GuardRole::Wait;
std::atomic<int> stopsWaiting{0};

struct Start {
  int attempt = 1;
  std::optional<Clock::time_point> discardUntil;
};

// A retry of an unanswered request goes out at once: a late reply to it carries the same
// register and is a fair answer. Anything else waits for the guard.
Start BeginTransaction(SerialHandle port, std::span<const uint8_t> request) {
  const std::lock_guard lock(historyMutex);
  PortHistory& h = historyByPort[port];
  const bool same = std::ranges::equal(h.lastRequest, request);
  Start start;
  start.attempt = same && h.lastFailed ? h.attempt + 1 : 1;
  // A stopping command leaves the guard armed: the late reply may still come.
  if (h.awaitingLate && !same && guardRole != GuardRole::Skip) {
    start.discardUntil = h.quietUntil;
    h.awaitingLate = false;
  }
  return start;
}

// A request that gave way to a stop did not go out: the guard it was to wait for stays.
void RearmGuard(SerialHandle port, Clock::time_point quietUntil) {
  const std::lock_guard lock(historyMutex);
  PortHistory& h = historyByPort[port];
  h.awaitingLate = true;
  h.quietUntil = std::max(h.quietUntil, quietUntil);
}

void EndTransaction(SerialHandle port, std::span<const uint8_t> request, int attempt,
                    CommandResult result, bool unanswered, bool partReceived) {
  const std::lock_guard lock(historyMutex);
  PortHistory& h = historyByPort[port];
  const bool retryOfSilent = attempt > 1 && h.awaitingLate && h.lastSilent;
  h.lastRequest.assign(request.begin(), request.end());
  h.lastFailed = result != kOk;
  h.attempt = attempt;
  h.lastSilent = unanswered && !partReceived;
  if (unanswered) {
    h.awaitingLate = true;
    h.quietUntil = Clock::now() + (partReceived ? kPartialReplyGuard : kLateReplyGuard);
  } else if (retryOfSilent && result == kOk) {
    // The answer may have been the earlier attempt's late reply: then this attempt's
    // own reply is still to come, and is guarded as long as a late one.
    h.quietUntil = std::max(h.quietUntil, Clock::now() + kLateReplyGuard);
  }
}

// Bytes nobody asked for (a late reply, the rest of a split one), for the trace.
void TraceUnasked(std::span<const uint8_t> bytes, Clock::time_point at,
                  std::chrono::system_clock::time_point wall) {
  if (bytes.empty() || !FrameTraceActive()) return;
  TransactionRecord record;
  record.sent = record.received = at;
  record.sentWall = wall;
  record.reply = bytes;
  record.result = kShortReply;
  record.operation = "LateReply";
  TraceTransaction(record);
}

// What a purge is about to throw away has already arrived: take it off the line first so
// the trace shows it (a late reply between a give-up and the retry, bytes after a reply).
void TraceWaitingBytes(SerialHandle port) {
  std::array<uint8_t, 64> bytes{};
  // A line that keeps talking is left to the purge after a bounded look.
  for (int chunk = 0; chunk < 16; ++chunk) {
    const int32_t n = TakePending(port, bytes.data(), static_cast<int32_t>(bytes.size()));
    if (n <= 0) return;
    TraceUnasked(std::span<const uint8_t>(bytes).first(static_cast<std::size_t>(n)), Clock::now(),
                 std::chrono::system_clock::now());
    if (n < static_cast<int32_t>(bytes.size())) return;
  }
}

// False when it gave way to a stop before the line was quiet.
bool DiscardLateReply(SerialHandle port, Clock::time_point quietUntil) {
  const auto limit = Clock::now() + kGuardLimit;
  std::array<uint8_t, 64> discarded{};
  std::size_t count = 0;
  // Each run of bytes is timed at its last byte, as a reply's RX is.
  Clock::time_point lastAt;
  std::chrono::system_clock::time_point lastWall;
  uint8_t byte = 0;
  bool quiet = true;
  // One-byte reads wait at most the read time-out for a single byte (4 ms); a thread that
  // gives way to stops looks more often than that, without waiting.
  const bool yields = guardRole == GuardRole::Yield;
  for (auto now = Clock::now(); now < quietUntil && now < limit; now = Clock::now()) {
    if (yields && stopsWaiting.load() > 0) {
      quiet = false;
      break;
    }
    if (yields && TakePending(port, &byte, 1) != 1) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      continue;
    }
    if (!yields && ReadReply(port, &byte, 1) != 1) continue;
    if (count == discarded.size()) {
      TraceUnasked(discarded, lastAt, lastWall);
      count = 0;
    }
    discarded[count++] = byte;
    lastAt = Clock::now();
    lastWall = std::chrono::system_clock::now();
    quietUntil = std::max(quietUntil, lastAt + kQuietAfterBytes);
  }
  TraceUnasked(std::span<const uint8_t>(discarded).first(count), lastAt, lastWall);
  return quiet;
}

// The write and the read of one transaction: `written` bytes went out, and had left at
// `leftAt`.
struct Exchanged {
  int32_t written = 0;
  int32_t received = 0;
  Clock::time_point leftAt;
  std::chrono::system_clock::time_point leftWall;
  // Bytes that followed a whole reply, traced after the transaction they followed.
  std::array<uint8_t, 64> after{};
  int32_t afterCount = 0;
  Clock::time_point afterAt;
  std::chrono::system_clock::time_point afterWall;
};

CommandResult Exchange(SerialHandle port, std::span<const uint8_t> request,
                       std::span<uint8_t> reply, Exchanged& x) {
  x.written = std::max(0, WriteFrame(port, request.data(), request.size()));
  x.leftAt = Clock::now();
  x.leftWall = std::chrono::system_clock::now();
  if (x.written == 0) return kShortReply;
  x.received = std::max(0, ReadReply(port, reply.data(), static_cast<int32_t>(reply.size())));
  if (x.received != static_cast<int32_t>(reply.size())) return kShortReply;
  x.afterCount = TakePending(port, x.after.data(), static_cast<int32_t>(x.after.size()));
  x.afterAt = Clock::now();
  x.afterWall = std::chrono::system_clock::now();
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

}  // namespace

StopPriority::StopPriority() {
  stopsWaiting.fetch_add(1);
  guardRole = GuardRole::Skip;
}
StopPriority::~StopPriority() {
  guardRole = GuardRole::Wait;
  stopsWaiting.fetch_sub(1);
}
YieldToStops::YieldToStops() { guardRole = GuardRole::Yield; }
YieldToStops::~YieldToStops() { guardRole = GuardRole::Wait; }
bool StopWaiting() { return stopsWaiting.load() > 0; }

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
  const Start start = BeginTransaction(port, request);
  if (start.discardUntil && !DiscardLateReply(port, *start.discardUntil)) {
    RearmGuard(port, *start.discardUntil);
    return kShortReply;
  }
  // A reply that came after an earlier read gave up must not pass for this one's.
  TraceWaitingBytes(port);
  PurgePort(port, true, true);
  Exchanged x;
  const CommandResult result = Exchange(port, request, reply, x);
  const bool sent = x.written > 0;
  const bool unanswered = sent && x.received != static_cast<int32_t>(reply.size());
  EndTransaction(port, request, start.attempt, result, unanswered, x.received > 0);
  if (FrameTraceActive()) {
    const OperationShape* shape = OperationOfRequest(request);
    TransactionRecord record;
    record.sent = x.leftAt;
    record.received = sent ? Clock::now() : x.leftAt;
    record.sentWall = x.leftWall;
    record.request = request;
    record.unwritten = request.size() - std::min(request.size(), static_cast<std::size_t>(x.written));
    record.reply = reply.first(static_cast<std::size_t>(x.received));
    record.result = result;
    record.attempt = start.attempt;
    record.operation = shape != nullptr ? shape->name : std::string_view{};
    TraceTransaction(record);
    TraceUnasked(std::span<const uint8_t>(x.after).first(static_cast<std::size_t>(std::max(0, x.afterCount))),
                 x.afterAt, x.afterWall);
  }
  return result;
}

}  // namespace dd
