#include "status/curve_decimation.h"

#include <algorithm>
#include <cmath>

namespace dd {

void CurveDecimator::Reset(double columnSeconds) {
  columnSeconds_ = columnSeconds > 0 ? columnSeconds : 1;
  columns_.clear();
  pendingGap_ = {};
  any_ = false;
}

void CurveDecimator::Append(const std::vector<Sample>& samples) {
  for (const Sample& sample : samples) {
    if (any_ && sample.time - lastTime_ > kGapSeconds) pendingGap_.fill(true);
    lastTime_ = sample.time;
    any_ = true;
    const auto index = static_cast<long long>(std::floor(sample.time / columnSeconds_));
    if (columns_.empty() || columns_.back().index < index) columns_.push_back({index, {}});
    Column& column = columns_.back();
    for (std::size_t q = 0; q < kQuantityCount; ++q) {
      const double v = sample.values[q];
      if (std::isnan(v)) {
        pendingGap_[q] = true;
        continue;
      }
      Extremes& e = column.quantities[q];
      // A gap narrower than a column does not show.
      if (pendingGap_[q] && e.empty) e.gapBefore = true;
      pendingGap_[q] = false;
      if (e.empty || v < e.low) e.low = v, e.lowTime = sample.time;
      if (e.empty || v > e.high) e.high = v, e.highTime = sample.time;
      e.empty = false;
    }
  }
}

void CurveDecimator::DropBefore(double time) {
  while (!columns_.empty() &&
         static_cast<double>(columns_.front().index + 1) * columnSeconds_ < time) {
    columns_.pop_front();
  }
}

void CurveDecimator::Points(Quantity quantity, std::vector<CurvePoint>& out) const {
  out.clear();
  const auto q = static_cast<std::size_t>(quantity);
  for (const Column& column : columns_) {
    const Extremes& e = column.quantities[q];
    if (e.empty) continue;
    if (e.gapBefore && !out.empty()) out.push_back({std::min(e.lowTime, e.highTime), kNoValue});
    if (e.lowTime == e.highTime) {
      out.push_back({e.lowTime, e.low});
    } else if (e.lowTime < e.highTime) {
      out.push_back({e.lowTime, e.low});
      out.push_back({e.highTime, e.high});
    } else {
      out.push_back({e.highTime, e.high});
      out.push_back({e.lowTime, e.low});
    }
  }
}

ValueRange CurveDecimator::Range(Quantity quantity) const {
  ValueRange range;
  const auto q = static_cast<std::size_t>(quantity);
  for (const Column& column : columns_) {
    const Extremes& e = column.quantities[q];
    if (e.empty) continue;
    if (range.empty || e.low < range.low) range.low = e.low;
    if (range.empty || e.high > range.high) range.high = e.high;
    range.empty = false;
  }
  return range;
}

}  // namespace dd
