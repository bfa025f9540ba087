#include "app/bus_log.h"

#include <algorithm>

namespace dd {

// Reserved, not filled: pages are touched only as records come, and a push never moves
// the ring.
BusLog::BusLog(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {
  ring_.reserve(capacity_);
}

BusRecord& BusLog::NextSlot() {
  if (ring_.size() < capacity_ && next_ >= ring_.size()) ring_.emplace_back();
  BusRecord& r = ring_[next_ % capacity_];
  r = BusRecord{};
  r.sequence = next_++;
  r.units = units_;
  return r;
}

void BusLog::FlushRepeats() {
  if (repeats_ == 0) return;
  BusRecord& r = NextSlot();
  const uint64_t sequence = r.sequence;
  r = lastFailure_;  // its bytes and result say what came again
  r.sequence = sequence;
  r.kind = BusRecordKind::Repeated;
  r.sent = r.received = repeatAt_;
  r.sentWall = repeatWall_;
  r.count = repeats_;
  repeats_ = 0;
}

bool BusLog::SameAsLastFailure(const TransactionRecord& record) const {
  return failureBefore_ && record.unwritten == lastFailure_.unwritten &&
         record.result == lastFailure_.result && record.operation == lastFailure_.operation &&
         std::ranges::equal(record.request, lastFailure_.Request()) &&
         std::ranges::equal(record.reply, lastFailure_.Reply());
}

void BusLog::Push(const TransactionRecord& record) {
  const auto request = record.request.first(std::min(record.request.size(), std::size_t{32}));
  const auto reply = record.reply.first(std::min(record.reply.size(), std::size_t{64}));
  const bool portError = !record.request.empty() && record.unwritten >= record.request.size();
  const bool failed = record.result != kOk || record.request.empty();
  const auto receivedWall =
      record.sentWall + std::chrono::duration_cast<std::chrono::system_clock::duration>(record.received - record.sent);
  const std::lock_guard lock(mutex_);
  if (portError && portDown_) {
    ++unsent_;
    return;
  }
  if (failed && SameAsLastFailure(record)) {
    ++repeats_;
    repeatAt_ = record.received;
    repeatWall_ = receivedWall;
    return;
  }
  FlushRepeats();
  if (portDown_ && !record.request.empty()) {
    // The first request that goes out again: the port is back.
    BusRecord& back = NextSlot();
    back.kind = BusRecordKind::PortBack;
    back.sent = back.received = record.sent;
    back.sentWall = record.sentWall;
    back.count = unsent_;
    portDown_ = false;
    unsent_ = 0;
  }
  BusRecord& r = NextSlot();
  r.sent = record.sent;
  r.received = record.received;
  r.sentWall = record.sentWall;
  std::copy(request.begin(), request.end(), r.requestBytes.begin());
  std::copy(reply.begin(), reply.end(), r.replyBytes.begin());
  r.requestSize = static_cast<uint8_t>(request.size());
  r.replySize = static_cast<uint8_t>(reply.size());
  r.unwritten = static_cast<uint8_t>(std::min(record.unwritten, request.size()));
  r.result = record.result;
  r.attempt = record.attempt;
  r.operation = record.operation;
  failureBefore_ = failed;
  if (failed) lastFailure_ = r;
  if (portError) portDown_ = true;
}

void BusLog::SetUnits(LogUnits units) {
  const std::lock_guard lock(mutex_);
  units_ = units;
}

void BusLog::PushNotice(std::string text) {
  auto notice = std::make_shared<const std::string>(std::move(text));
  const auto now = std::chrono::steady_clock::now();
  const auto wall = std::chrono::system_clock::now();
  const std::lock_guard lock(mutex_);
  FlushRepeats();
  BusRecord& r = NextSlot();
  r.kind = BusRecordKind::Notice;
  r.sent = r.received = now;
  r.sentWall = wall;
  r.notice = std::move(notice);
}

uint64_t BusLog::ReadFrom(uint64_t& cursor, std::vector<BusRecord>& out, std::size_t max) {
  return VisitFrom(cursor, max, [&out](const BusRecord& r) { out.push_back(r); });
}

uint64_t BusLog::VisitFrom(uint64_t& cursor, std::size_t max,
                           const std::function<void(const BusRecord&)>& visit) {
  const std::lock_guard lock(mutex_);
  FlushRepeats();
  const uint64_t oldest = next_ > capacity_ ? next_ - capacity_ : 0;
  uint64_t lost = 0;
  if (cursor < oldest) {
    lost = oldest - cursor;
    cursor = oldest;
  }
  if (cursor > next_) cursor = next_;
  const uint64_t count = std::min<uint64_t>(next_ - cursor, max);
  for (uint64_t i = 0; i < count; ++i) visit(ring_[(cursor + i) % capacity_]);
  cursor += count;
  return lost;
}

bool BusLog::Get(uint64_t sequence, BusRecord& out) const {
  const std::lock_guard lock(mutex_);
  if (sequence >= next_ || next_ - sequence > capacity_) return false;
  out = ring_[sequence % capacity_];
  return true;
}

uint64_t BusLog::Oldest() const {
  const std::lock_guard lock(mutex_);
  return next_ > capacity_ ? next_ - capacity_ : 0;
}

uint64_t BusLog::End() const {
  const std::lock_guard lock(mutex_);
  return next_;
}

BusLog& ProgramBusLog() {
  static BusLog log;
  return log;
}

void AttachBusLog() {
  SetFrameTrace([](const TransactionRecord& record) { ProgramBusLog().Push(record); });
}

}  // namespace dd
