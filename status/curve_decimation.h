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
  // Drops every column; new ones are `columnSeconds` wide (> 0).
  void Reset(double columnSeconds);
  double ColumnSeconds() const { return columnSeconds_; }
  // Samples in time order, later than any appended before.
  void Append(const std::vector<Sample>& samples);
  // Forgets the columns that end before `time`.
  void DropBefore(double time);
  std::size_t Columns() const { return columns_.size(); }

  // The points of `quantity`: per column its extremes in the order they occurred.
  void Points(Quantity quantity, std::vector<CurvePoint>& out) const;
  // Lowest and highest value of `quantity` over the columns held.
  ValueRange Range(Quantity quantity) const;

 private:
  struct Extremes {
    double low = 0, lowTime = 0, high = 0, highTime = 0;
    bool empty = true;
  };
  struct Column {
    long long index = 0;  // start time / columnSeconds
    std::array<Extremes, kQuantityCount> quantities;
  };

  double columnSeconds_ = 1;
  std::deque<Column> columns_;
};

}  // namespace dd
