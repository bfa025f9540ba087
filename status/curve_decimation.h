// Reduces samples to what a plot of a given width can show: per pixel column the
// lowest and the highest value of each quantity, so a spike one sample long stays
// visible. Columns are aligned to multiples of their width and filled as samples
// arrive, so a refresh costs the new samples and the columns shown, whatever the span.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <vector>

#include "status/sample_history.h"

namespace dd {

struct CurvePoint {
  double time = 0;
  double value = 0;
};

struct ValueRange {
  double low = 0;
  double high = 0;
  bool empty = true;
};

class CurveDecimator {
 public:
  // Polling delivers a sample several times a second even on a slow line; a longer
  // silence means it stopped.
  static constexpr double kGapSeconds = 1.0;

  // Drops every column; new ones are `columnSeconds` wide (> 0).
  void Reset(double columnSeconds);
  double ColumnSeconds() const { return columnSeconds_; }
  // Samples in time order, later than any appended before.
  void Append(const std::vector<Sample>& samples);
  // Forgets the columns that end before `time`.
  void DropBefore(double time);
  std::size_t Columns() const { return columns_.size(); }

  // The points of `quantity`: per column its extremes in the order they occurred. Where
  // reads failed, or no sample came for longer than kGapSeconds (polling stopped), a
  // point with a NaN value stands for the gap: the curve is not drawn across it.
  void Points(Quantity quantity, std::vector<CurvePoint>& out) const;
  // Lowest and highest value of `quantity` over the columns held.
  ValueRange Range(Quantity quantity) const;

 private:
  struct Extremes {
    double low = 0, lowTime = 0, high = 0, highTime = 0;
    bool empty = true;
    bool gapBefore = false;  // no value came between the previous column's and this one's
  };
  struct Column {
    long long index = 0;  // start time / columnSeconds
    std::array<Extremes, kQuantityCount> quantities;
  };

  double columnSeconds_ = 1;
  std::deque<Column> columns_;
  std::array<bool, kQuantityCount> pendingGap_{};  // a read failed since the last value
  double lastTime_ = 0;
  bool any_ = false;
};

}  // namespace dd
