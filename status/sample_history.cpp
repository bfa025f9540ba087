#include "status/sample_history.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/clock_text.h"

namespace dd {

SampleHistory::SampleHistory(std::size_t capacity)
    : epoch_(std::chrono::steady_clock::now()),
      epochWall_(std::chrono::system_clock::now()),
      capacity_(std::max<std::size_t>(capacity, 1)) {}

std::chrono::system_clock::time_point SampleHistory::WallAt(double time) const {
  return epochWall_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::duration<double>(time));
}

double SampleHistory::Now() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
}

void SampleHistory::Add(const Sample& sample) {
  std::lock_guard lock(mutex_);
  if (ring_.size() < capacity_) {
    ring_.push_back(sample);
  } else {
    ring_[added_ % capacity_] = sample;
  }
  ++added_;
}

void SampleHistory::BeginMotion(MotionKind kind) {
  const double now = Now();
  std::lock_guard lock(mutex_);
  for (MotionBand& band : bands_) {
    if (band.kind == kind && std::isnan(band.end)) band.end = now;
  }
  bands_.push_back({kind, now, kNoValue});
  if (bands_.size() > kMaxBands) bands_.pop_front();
}

void SampleHistory::EndMotion(MotionKind kind) {
  const double now = Now();
  std::lock_guard lock(mutex_);
  for (MotionBand& band : bands_) {
    if (band.kind == kind && std::isnan(band.end)) band.end = now;
  }
}

std::size_t SampleHistory::Size() const {
  std::lock_guard lock(mutex_);
  return ring_.size();
}

uint64_t SampleHistory::Added() const {
  std::lock_guard lock(mutex_);
  return added_;
}

uint64_t SampleHistory::Bisect(double t, bool after, uint64_t lo, uint64_t hi) const {
  // Times rise with the sequence number.
  while (lo < hi) {
    const uint64_t mid = lo + (hi - lo) / 2;
    const double time = At(mid).time;
    if (time < t || (after && time == t)) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

std::vector<Sample> SampleHistory::Since(uint64_t& next, double from) const {
  std::lock_guard lock(mutex_);
  const uint64_t oldest = added_ - ring_.size();
  const uint64_t begin = Bisect(from, false, std::min(std::max(next, oldest), added_), added_);
  std::vector<Sample> out;
  out.reserve(static_cast<std::size_t>(added_ - begin));
  for (uint64_t i = begin; i < added_; ++i) out.push_back(At(i));
  next = added_;
  return out;
}

std::vector<Sample> SampleHistory::Between(double from, double to) const {
  std::lock_guard lock(mutex_);
  const uint64_t oldest = added_ - ring_.size();
  const uint64_t begin = Bisect(from, false, oldest, added_);
  const uint64_t end = Bisect(to, true, begin, added_);
  std::vector<Sample> out;
  out.reserve(static_cast<std::size_t>(end - begin));
  for (uint64_t i = begin; i < end; ++i) out.push_back(At(i));
  return out;
}

std::vector<MotionBand> SampleHistory::Bands(double from, double to) const {
  std::lock_guard lock(mutex_);
  std::vector<MotionBand> out;
  for (const MotionBand& band : bands_) {
    const bool endsBefore = !std::isnan(band.end) && band.end < from;
    if (!endsBefore && band.start <= to) out.push_back(band);
  }
  return out;
}

namespace {

// std::to_chars ignores the locale, so the decimal point is '.' everywhere.
void AppendNumber(std::string& out, double value, int decimals) {
  if (!std::isfinite(value)) return;
  char buffer[64];
  const auto result = decimals < 0 ? std::to_chars(buffer, buffer + sizeof buffer, value)
                                   : std::to_chars(buffer, buffer + sizeof buffer, value,
                                                   std::chars_format::fixed, decimals);
  out.append(buffer, result.ptr);
}

}  // namespace

std::string SamplesCsv(const std::vector<Sample>& samples, std::chrono::system_clock::time_point epochWall) {
  // The byte-order mark lets spreadsheet programs on Windows read the Chinese header.
  std::string out = "\xEF\xBB\xBF时刻,时间(s),实时位置,目标位置,位置偏差,实时速度(rpm),实时电流(A)\r\n";
  // Speed and current as the window shows them; positions are whole or exact as read.
  constexpr std::array<int, kQuantityCount> kDecimals{-1, -1, -1, 3, 2};
  for (const Sample& sample : samples) {
    out += IsoLocalTime(epochWall + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                        std::chrono::duration<double>(sample.time)));
    out += ',';
    AppendNumber(out, sample.time, 3);
    for (int q = 0; q < kQuantityCount; ++q) {
      out += ',';
      AppendNumber(out, sample.values[static_cast<std::size_t>(q)], kDecimals[static_cast<std::size_t>(q)]);
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace dd
