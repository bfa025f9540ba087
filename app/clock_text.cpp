#include "app/clock_text.h"

#include <cstdio>
#include <ctime>

namespace dd {
namespace {

using namespace std::chrono;

struct LocalParts {
  year_month_day date;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int offsetMinutes = 0;  // local minus UTC
};

LocalParts Parts(system_clock::time_point time) {
  const auto ms = time_point_cast<milliseconds>(time);
  const std::time_t seconds = system_clock::to_time_t(time_point_cast<system_clock::duration>(floor<std::chrono::seconds>(ms)));
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  LocalParts p;
  p.date = year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
           day{static_cast<unsigned>(local.tm_mday)};
  p.hour = local.tm_hour;
  p.minute = local.tm_min;
  p.second = local.tm_sec;
  p.millisecond = static_cast<int>((ms - floor<std::chrono::seconds>(ms)).count());
  // The offset is what the local reading differs from the UTC one, DST included.
  const auto localSeconds = sys_days{p.date}.time_since_epoch() + hours{p.hour} + minutes{p.minute} +
                            std::chrono::seconds{p.second};
  p.offsetMinutes = static_cast<int>(
      duration_cast<minutes>(localSeconds - floor<std::chrono::seconds>(ms).time_since_epoch()).count());
  return p;
}

}  // namespace

std::string IsoLocalTime(system_clock::time_point time) {
  const LocalParts p = Parts(time);
  const int offset = p.offsetMinutes < 0 ? -p.offsetMinutes : p.offsetMinutes;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03d%c%02d:%02d",
                static_cast<int>(p.date.year()), static_cast<unsigned>(p.date.month()),
                static_cast<unsigned>(p.date.day()), p.hour, p.minute, p.second, p.millisecond,
                p.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::string LocalClockText(system_clock::time_point time, bool withDate, bool milliseconds) {
  const LocalParts p = Parts(time);
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", p.hour, p.minute, p.second);
  std::string out = withDate ? LocalDateText(time) + " " + text : std::string(text);
  if (milliseconds) {
    std::snprintf(text, sizeof text, ".%03d", p.millisecond);
    out += text;
  }
  return out;
}

std::string LocalDateText(system_clock::time_point time) {
  const LocalParts p = Parts(time);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(p.date.year()),
                static_cast<unsigned>(p.date.month()), static_cast<unsigned>(p.date.day()));
  return text;
}

int64_t LocalOffsetSeconds(system_clock::time_point time) { return int64_t{Parts(time).offsetMinutes} * 60; }

int64_t LocalDayNumber(system_clock::time_point time) {
  return sys_days{Parts(time).date}.time_since_epoch().count();
}

}  // namespace dd
