// The time axis of the curves in clock time: ticks on whole steps of the local clock
// (12:01:00, 12:01:10, ...) for a span of history time, with the date where it changes.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace dd {

struct ClockTick {
  double at = 0;  // history time
  std::string label;
};

// At most `maxTicks` ticks in [from, to] (history seconds; `epochWall` is the wall time
// of history time 0), on the smallest step of 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15,
// 30 min, 1 h that fits. Labels "12:01:02"; the first tick and the first of a new day
// carry the date in front ("2026-12-07 12:01:02").
std::vector<ClockTick> ClockTicks(double from, double to, std::chrono::system_clock::time_point epochWall,
                                  int maxTicks);

}  // namespace dd
