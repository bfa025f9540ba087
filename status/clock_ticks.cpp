#include "status/clock_ticks.h"

#include <array>
#include <cmath>
#include <limits>

#include "app/clock_text.h"

namespace dd {

std::vector<ClockTick> ClockTicks(double from, double to, std::chrono::system_clock::time_point epochWall,
                                  int maxTicks) {
  using namespace std::chrono;
  std::vector<ClockTick> ticks;
  if (!(to > from) || maxTicks < 1) return ticks;
  static constexpr std::array<double, 13> kSteps{1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
  double step = kSteps.back();
  for (const double s : kSteps) {
    if ((to - from) / s <= maxTicks) {
      step = s;
      break;
    }
  }
  // Whole steps of the local clock: the wall time shifted by the local offset.
  const auto wallOf = [&](double t) {
    return epochWall + duration_cast<system_clock::duration>(duration<double>(t));
  };
  const double epochSeconds = duration<double>(epochWall.time_since_epoch()).count() +
                              static_cast<double>(LocalOffsetSeconds(wallOf(from)));
  int64_t lastDay = std::numeric_limits<int64_t>::min();
  for (double local = std::ceil((epochSeconds + from) / step) * step; local <= epochSeconds + to; local += step) {
    const double at = local - epochSeconds;
    const auto wall = wallOf(at);
    const int64_t day = LocalDayNumber(wall);
    ticks.push_back({at, LocalClockText(wall, day != lastDay, false)});
    lastDay = day;
  }
  return ticks;
}

}  // namespace dd
