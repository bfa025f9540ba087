#include "ui/curve_view.h"

#include <algorithm>
#include <cmath>

namespace dd {
namespace {

constexpr int kMinColumns = 100;

ValueRange Merge(ValueRange a, ValueRange b) {
  if (b.empty) return a;
  if (a.empty) return b;
  return {std::min(a.low, b.low), std::max(a.high, b.high), false};
}

}  // namespace

int CurveAxisOf(Quantity quantity) {
  const int q = static_cast<int>(quantity);
  return q == 0 ? 0 : q - 1;
}

const char* QuantityCaption(Quantity quantity) {
  static const char* const kNames[] = {"实时位置", "目标位置", "位置偏差", "实时速度 (rpm)",
                                       "实时电流 (A)"};
  return kNames[static_cast<int>(quantity)];
}

const char* CurveAxisTitle(int axis) {
  static const char* const kTitles[] = {"位置 (脉冲)", "位置偏差 (脉冲)", "速度 (rpm)", "电流 (A)"};
  return kTitles[axis];
}

const char* MotionKindCaption(MotionKind kind) {
  static const char* const kNames[] = {"点动", "移动", "归零"};
  return kNames[static_cast<int>(kind)];
}

std::vector<double> AxisTicks(double low, double high, int maxTicks) {
  std::vector<double> ticks;
  if (!(high > low) || maxTicks < 2) return ticks;
  const double rough = (high - low) / (maxTicks - 1);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power;
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= rough) break;
  }
  for (double t = std::ceil(low / step) * step; t <= high + step * 1e-9; t += step) {
    ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
  }
  return ticks;
}

CurveView::CurveView(std::shared_ptr<SampleHistory> history) : history_(std::move(history)) {}

void CurveView::Rebuild(double from, double to, bool live, int columns) {
  columns_ = std::max(kMinColumns, columns);
  decimator_.Reset((to - from) / columns_);
  if (live) {
    next_ = 0;
    decimator_.Append(history_->Since(next_, from));
  } else {
    decimator_.Append(history_->Between(from, to));
  }
  stale_ = false;
}

void CurveView::Refresh(int columns) {
  if (paused_) return;
  to_ = history_->Now();
  from_ = to_ - kSpanSeconds[static_cast<std::size_t>(spanIndex_)];
  if (stale_ || columns_ != std::max(kMinColumns, columns)) {
    Rebuild(from_, to_, true, columns);
  } else {
    decimator_.Append(history_->Since(next_));
  }
  decimator_.DropBefore(from_);
  for (int axis = 0; axis < kCurveAxisCount; ++axis) {
    const ValueRange r = AxisValues(axis, false);
    const double spread = r.high - r.low;
    scaling_[static_cast<std::size_t>(axis)] = r.empty      ? std::pair{0.0, 1.0}
                                               : spread > 0 ? std::pair{r.low, 1 / spread}
                                                            : std::pair{r.low - 0.5, 1.0};
  }
}

void CurveView::SetPaused(bool paused) {
  paused_ = paused;
  if (!paused) {
    zoomed_ = false;
    stale_ = true;
  }
}

void CurveView::SetSpan(int index) {
  if (index < 0 || index >= static_cast<int>(kSpanSeconds.size())) return;
  spanIndex_ = index;
  stale_ = true;
}

void CurveView::ZoomTo(double from, double to, int columns) {
  if (!(to > from)) return;
  zoomed_ = paused_ = true;
  from_ = from;
  to_ = to;
  Rebuild(from, to, false, columns);
  stale_ = true;  // "继续" refills for the scrolling span
}

ValueRange CurveView::AxisValues(int axis, bool shownOnly) const {
  ValueRange r;
  for (int q = 0; q < kQuantityCount; ++q) {
    const auto quantity = static_cast<Quantity>(q);
    if (CurveAxisOf(quantity) != axis || (shownOnly && !Shown(quantity))) continue;
    r = Merge(r, decimator_.Range(quantity));
  }
  return r;
}

void CurveView::Points(Quantity quantity, std::vector<CurvePoint>& out) const {
  decimator_.Points(quantity, out);
  if (!normalised_) return;
  const auto [offset, factor] = scaling_[static_cast<std::size_t>(CurveAxisOf(quantity))];
  for (CurvePoint& p : out) p.value = (p.value - offset) * factor;
}

bool CurveView::AxisShown(int axis) const {
  if (normalised_) return axis == 0;
  for (int q = 0; q < kQuantityCount; ++q) {
    if (CurveAxisOf(static_cast<Quantity>(q)) == axis && shown_[static_cast<std::size_t>(q)]) return true;
  }
  return false;
}

std::pair<double, double> CurveView::AxisRange(int axis) const {
  if (normalised_) return {-0.05, 1.05};
  const ValueRange r = AxisValues(axis, true);
  if (r.empty) return {0, 1};
  const double spread = r.high - r.low;
  if (spread <= 0) {
    // A flat curve gets a band around its value.
    const double room = std::max(1.0, std::abs(r.high) * 0.05);
    return {r.low - room, r.high + room};
  }
  return {r.low - spread * 0.05, r.high + spread * 0.05};
}

std::vector<MotionBand> CurveView::Bands() const {
  std::vector<MotionBand> bands = history_->Bands(from_, to_);
  for (MotionBand& band : bands) {
    band.start = std::max(band.start, from_);
    band.end = std::isnan(band.end) ? to_ : std::min(band.end, to_);
  }
  return bands;
}

std::string CurveView::Csv() const { return SamplesCsv(history_->Between(from_, to_), history_->WallAt(0)); }

std::vector<ClockTick> CurveView::TimeTicks(int maxTicks) const {
  return ClockTicks(from_, to_, history_->WallAt(0), maxTicks);
}

}  // namespace dd
