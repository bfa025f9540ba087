// The last transactions on the bus, for the communication log's file and window.
// Workers hand records over without waiting for any reader: the ring is bounded, and a
// reader that falls behind loses the oldest records and is told how many.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame_trace.h"

namespace dd {

// A frame, a notice, or a summary that stands for records the log did not keep one by
// one: a failure that came again unchanged, or requests a failed port never sent.
enum class BusRecordKind : uint8_t {
  Frame,
  Notice,    // a fact about the line, such as a USB latency timer that could not be lowered
  Repeated,  // the failure before it came `count` more times, the last at sentWall
  PortBack,  // the port takes writes again; `count` requests could not be sent meanwhile
};

// The form's units a record's values are read in: speed register to rpm, pulses a turn;
// zero before a connection read them.
struct LogUnits {
  int32_t speedCoefficient = 0;
  double pulsesPerRev = 0;
};

struct BusRecord {
  uint64_t sequence = 0;
  BusRecordKind kind = BusRecordKind::Frame;
  std::chrono::steady_clock::time_point sent, received;
  std::chrono::system_clock::time_point sentWall;
  std::array<uint8_t, 32> requestBytes{};
  std::array<uint8_t, 64> replyBytes{};
  uint8_t requestSize = 0, replySize = 0;
  uint8_t unwritten = 0;  // request bytes that never reached the line
  CommandResult result = kOk;
  int attempt = 1;
  uint64_t count = 0;          // Repeated and PortBack
  std::string_view operation;  // static text from the link layer
  std::shared_ptr<const std::string> notice;  // Notice
  LogUnits units;  // in force when it was logged: a later change of them does not reread it

  std::span<const uint8_t> Request() const { return {requestBytes.data(), requestSize}; }
  std::span<const uint8_t> Reply() const { return {replyBytes.data(), replySize}; }
  // What of the request went out on the line.
  std::span<const uint8_t> Written() const { return Request().first(requestSize - unwritten); }
  // The port refused the request: nothing went out, no reply was awaited.
  bool PortError() const { return kind == BusRecordKind::Frame && requestSize > 0 && unwritten == requestSize; }
  // Wall-clock time at which reading the reply ended.
  std::chrono::system_clock::time_point ReceivedWall() const {
    return sentWall + std::chrono::duration_cast<std::chrono::system_clock::duration>(received - sent);
  }
};

class BusLog {
 public:
  static constexpr std::size_t kDefaultCapacity = 50'000;
  explicit BusLog(std::size_t capacity = kDefaultCapacity);

  // Copies the record in; holds the lock only for that copy. A failure equal to the one
  // before it (same bytes and result, any attempt) is only counted, and a port that
  // refuses writes is logged once: every later refusal is counted until a write goes
  // out again (a PortBack record).
  void Push(const TransactionRecord& record);
  void PushNotice(std::string text);
  // The units every record from now on is read in (the connection sequence sets them).
  void SetUnits(LogUnits units);

  // Appends the records from sequence `cursor` on (at most `max`) to `out` and moves the
  // cursor past them; repeats counted so far come first as a Repeated record. Returns how
  // many records the reader lost because the ring had overwritten them.
  uint64_t ReadFrom(uint64_t& cursor, std::vector<BusRecord>& out, std::size_t max);
  // As ReadFrom, but hands each record to `visit` in place, under the lock: for a reader
  // that keeps only what it needs (a window's row index). `visit` must be quick.
  uint64_t VisitFrom(uint64_t& cursor, std::size_t max,
                     const std::function<void(const BusRecord&)>& visit);
  // Copies the record numbered `sequence` into `out`; false once the ring overwrote it.
  bool Get(uint64_t sequence, BusRecord& out) const;
  // Sequence of the oldest record the ring still holds.
  uint64_t Oldest() const;

  // Sequence the next record will get: the count of records ever pushed.
  uint64_t End() const;
  std::size_t Capacity() const { return capacity_; }

 private:
  // The slot for the next record, cleared, with its sequence set; under the lock.
  BusRecord& NextSlot();
  // Under the lock: the Repeated record for the repeats counted so far, if any.
  void FlushRepeats();
  bool SameAsLastFailure(const TransactionRecord& record) const;

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<BusRecord> ring_;
  uint64_t next_ = 0;
  LogUnits units_;

  // Collapsing, under the lock.
  bool failureBefore_ = false;  // the last record kept was a failure: lastFailure_
  BusRecord lastFailure_;
  uint64_t repeats_ = 0;
  std::chrono::steady_clock::time_point repeatAt_;
  std::chrono::system_clock::time_point repeatWall_;
  bool portDown_ = false;
  uint64_t unsent_ = 0;
};

// The program's one log, fed by the link layer's frame trace once AttachBusLog ran.
BusLog& ProgramBusLog();
void AttachBusLog();

}  // namespace dd
