// One clock for every time the program shows or writes: local time for people, ISO 8601
// with the local offset in files, so a log, a CSV and the window's tooltip line up.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace dd {

// "2026-12-07T12:01:02.123+08:00": local time, milliseconds, the offset from UTC.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);
// For people: "12:01:02.123" (with `milliseconds`) or "12:01:02"; `withDate` puts
// "2026-12-07 " in front.
std::string LocalClockText(std::chrono::system_clock::time_point time, bool withDate,
                           bool milliseconds);
// "2026-12-07": the local date, as file names and headers carry it.
std::string LocalDateText(std::chrono::system_clock::time_point time);
// Whole days since 1970-01-01 of the local date: two times with the same number fall on
// the same local day.
int64_t LocalDayNumber(std::chrono::system_clock::time_point time);
// Local time minus UTC at that moment, in seconds (daylight saving included).
int64_t LocalOffsetSeconds(std::chrono::system_clock::time_point time);

}  // namespace dd
