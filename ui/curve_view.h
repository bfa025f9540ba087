// What the curves window shows, without the window: the visible time span (scrolling,
// paused or zoomed), the decimated points of each quantity, the axes' ranges and ticks
// and the motion bands, from the session's sample history. A window draws it and turns
// clicks into its calls.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "status/clock_ticks.h"
#include "status/curve_decimation.h"
#include "status/sample_history.h"

namespace dd {

// Actual and target position share the axis "位置 (脉冲)", so they can be compared.
inline constexpr int kCurveAxisCount = 4;
int CurveAxisOf(Quantity quantity);
const char* QuantityCaption(Quantity quantity);  // "实时位置", ...
const char* CurveAxisTitle(int axis);            // "位置 (脉冲)": every axis names its unit
const char* MotionKindCaption(MotionKind kind);  // "点动", "移动", "归零"

// Tick values on round numbers (1, 2 or 5 times a power of ten) within [low, high].
std::vector<double> AxisTicks(double low, double high, int maxTicks);

class CurveView {
 public:
  static constexpr std::array<int, 3> kSpanSeconds{10, 60, 600};
  static constexpr std::array<const char*, 3> kSpanTexts{"10 秒", "1 分钟", "10 分钟"};
  static constexpr int kRefreshMs = 200;

  explicit CurveView(std::shared_ptr<SampleHistory> history);

  // Takes new samples for a plot `columns` pixels wide and scrolls on, unless paused.
  void Refresh(int columns);
  // "暂停" freezes the picture; "继续" (also "复位") leaves any zoom and scrolls on.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  void SetSpan(int index);  // into kSpanSeconds
  int SpanIndex() const { return spanIndex_; }
  void SetNormalised(bool normalised) { normalised_ = normalised; }
  bool Normalised() const { return normalised_; }
  void SetShown(Quantity quantity, bool shown) { shown_[static_cast<std::size_t>(quantity)] = shown; }
  bool Shown(Quantity quantity) const { return shown_[static_cast<std::size_t>(quantity)]; }
  // Shows only [from, to] in full detail and pauses, as a dragged area does.
  void ZoomTo(double from, double to, int columns);
  bool Zoomed() const { return zoomed_; }

  double From() const { return from_; }
  double To() const { return to_; }
  // The time axis' ticks on the local clock over the visible span.
  std::vector<ClockTick> TimeTicks(int maxTicks) const;
  // The points of `quantity` in its axis' units, or 0..1 when normalised; a NaN value
  // marks a gap the curve is not drawn across.
  void Points(Quantity quantity, std::vector<CurvePoint>& out) const;
  // The range of an axis over the shown curves, with room around them; normalised: the
  // one axis 0..1 with room.
  std::pair<double, double> AxisRange(int axis) const;
  bool AxisShown(int axis) const;
  // The bands overlapping the visible span, clipped to it.
  std::vector<MotionBand> Bands() const;
  // The visible span's samples as CSV (SamplesCsv).
  std::string Csv() const;

 private:
  void Rebuild(double from, double to, bool live, int columns);
  ValueRange AxisValues(int axis, bool shownOnly) const;

  std::shared_ptr<SampleHistory> history_;
  CurveDecimator decimator_;
  uint64_t next_ = 0;  // history sequence the decimator has taken up to
  int columns_ = 0;    // pixel columns the decimator was built for
  bool stale_ = true;  // the decimator must be refilled before the next drawing
  int spanIndex_ = 0;
  bool paused_ = false, zoomed_ = false, normalised_ = false;
  std::array<bool, kQuantityCount> shown_{true, true, true, true, true};
  // Normalised curves are scaled by what the scrolling span shows; a zoom keeps that.
  std::array<std::pair<double, double>, kCurveAxisCount> scaling_{};  // offset, factor
  double from_ = 0, to_ = CurveView::kSpanSeconds[0];
};

}  // namespace dd
