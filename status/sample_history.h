// The polled live values over time, for the curves window: a bounded ring of timed
// samples fed by the status polling cycle, and the bands in which a jog, a move or a
// homing run was under way. Written by workers, read by the window; thread-safe.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

namespace dd {

// The plotted quantities, in column order.
enum class Quantity { ActualPosition, TargetPosition, Deviation, SpeedRpm, CurrentAmps };
inline constexpr int kQuantityCount = 5;
inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

struct Sample {
  double time = 0;  // seconds since the history began
  // NaN where the cycle's read of that quantity failed.
  std::array<double, kQuantityCount> values{kNoValue, kNoValue, kNoValue, kNoValue, kNoValue};
  double& operator[](Quantity q) { return values[static_cast<std::size_t>(q)]; }
  double operator[](Quantity q) const { return values[static_cast<std::size_t>(q)]; }
};

enum class MotionKind { Jog, Move, Homing };
inline constexpr int kMotionKindCount = 3;

struct MotionBand {
  MotionKind kind = MotionKind::Move;
  double start = 0;
  double end = kNoValue;  // NaN while the motion is still under way
};

class SampleHistory {
 public:
  // Ten minutes at more than 200 cycles a second, faster than an instant drive polls.
  static constexpr std::size_t kDefaultCapacity = std::size_t{1} << 17;
  static constexpr std::size_t kMaxBands = 4096;

  explicit SampleHistory(std::size_t capacity = kDefaultCapacity);
  SampleHistory(const SampleHistory&) = delete;
  SampleHistory& operator=(const SampleHistory&) = delete;

  // Seconds since the history began, on a steady clock.
  double Now() const;
  // The wall-clock moment of a history time, for clock-time axes and files.
  std::chrono::system_clock::time_point WallAt(double time) const;

  // Appends a sample; once full, the oldest one is dropped. Times must not decrease.
  void Add(const Sample& sample);
  void BeginMotion(MotionKind kind);
  // Closes the open band of `kind`, if any.
  void EndMotion(MotionKind kind);

  std::size_t Size() const;
  std::size_t Capacity() const { return capacity_; }
  // Number of samples ever added: the sequence number of the next one.
  uint64_t Added() const;

  // The samples numbered `next` and later that are still held and not older than
  // `from`, oldest first; `next` becomes Added(). Samples that fell out of the ring
  // meanwhile are skipped.
  std::vector<Sample> Since(uint64_t& next,
                            double from = -std::numeric_limits<double>::infinity()) const;
  // The samples with from <= time <= to, oldest first.
  std::vector<Sample> Between(double from, double to) const;
  // The bands that overlap [from, to], in order of their start.
  std::vector<MotionBand> Bands(double from, double to) const;

 private:
  const Sample& At(uint64_t sequence) const { return ring_[sequence % capacity_]; }
  // First sequence number in [lo, hi) whose time is >= t (> t when `after`).
  uint64_t Bisect(double t, bool after, uint64_t lo, uint64_t hi) const;

  const std::chrono::steady_clock::time_point epoch_;
  const std::chrono::system_clock::time_point epochWall_;
  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::vector<Sample> ring_;  // grows up to capacity_, then wraps
  uint64_t added_ = 0;
  std::deque<MotionBand> bands_;
};

// The quantities as CSV with a header line: the moment (ISO 8601, local with its offset;
// `epochWall` is the wall time of history time 0), time in seconds, then one column per
// quantity. '.' decimals in any locale; an empty field where a read failed.
std::string SamplesCsv(const std::vector<Sample>& samples, std::chrono::system_clock::time_point epochWall);

}  // namespace dd
