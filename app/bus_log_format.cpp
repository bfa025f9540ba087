#include "app/bus_log_format.h"

#include <cstdio>

namespace dd {

std::string IsoTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = time_point_cast<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()),
                static_cast<int>(clock.subseconds().count()));
  return text;
}

std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}

std::string_view FailureName(const BusRecord& record) {
  if (record.notice) return {};
  if (record.Request().empty()) return "LateReply";
  if (record.result == kOk) return {};
  if (record.result == kShortReply && record.replySize == 0) return "Timeout";
  return CommandResultName(record.result);
}

void AppendLogLines(const BusRecord& record, std::string& out) {
  if (record.notice) {
    out += IsoTime(record.sentWall) + " -- Notice " + *record.notice + '\n';
    return;
  }
  const std::string receivedAt = IsoTime(record.ReceivedWall());
  if (!record.Request().empty()) {
    out += IsoTime(record.sentWall);
    out += " TX ";
    out += HexBytes(record.Request());
    out += '\n';
  }
  if (record.replySize > 0) {
    out += receivedAt;
    out += " RX ";
    out += HexBytes(record.Reply());
    out += '\n';
  }
  if (const std::string_view failure = FailureName(record); !failure.empty()) {
    out += receivedAt;
    out += " -- ";
    out += failure;
    out += '\n';
  }
}

std::string DroppedLine(std::chrono::system_clock::time_point time, uint64_t count) {
  return IsoTime(time) + " -- Dropped " + std::to_string(count) + "\n";
}

}  // namespace dd
