#include "app/bus_log_format.h"

#include <cstdio>

#include "app/clock_text.h"
#include "link/frame_meaning.h"

namespace dd {

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
  if (record.kind == BusRecordKind::Notice || record.kind == BusRecordKind::PortBack) return {};
  if (record.Request().empty()) return "LateReply";
  if (record.PortError()) return "PortError";
  if (record.result == kOk) return {};
  if (ExceptionCode(record.Request(), record.Reply())) return "Exception";
  if (record.result == kShortReply && record.replySize == 0) return "Timeout";
  return CommandResultName(record.result);
}

namespace {

void Line(std::chrono::system_clock::time_point at, std::string_view what, std::string& out) {
  out += IsoLocalTime(at);
  out += ' ';
  out += what;
  out += '\n';
}

std::string FailureText(const BusRecord& record) {
  std::string text(FailureName(record));
  if (const auto code = ExceptionCode(record.Request(), record.Reply())) {
    char digits[8];
    std::snprintf(digits, sizeof digits, " %02d ", *code);
    text += digits;
    text += ExceptionName(*code);
  }
  return text;
}

}  // namespace

void AppendLogLines(const BusRecord& record, std::string& out) {
  switch (record.kind) {
    case BusRecordKind::Notice: Line(record.sentWall, "-- Notice " + *record.notice, out); return;
    case BusRecordKind::Repeated:
      Line(record.sentWall, "-- Repeated " + std::to_string(record.count) + " " + FailureText(record), out);
      return;
    case BusRecordKind::PortBack:
      Line(record.sentWall, "-- PortBack " + std::to_string(record.count) + " unsent", out);
      return;
    case BusRecordKind::Frame: break;
  }
  if (!record.Written().empty()) Line(record.sentWall, "TX " + HexBytes(record.Written()), out);
  const auto receivedAt = record.ReceivedWall();
  if (record.replySize > 0) Line(receivedAt, "RX " + HexBytes(record.Reply()), out);
  if (!FailureName(record).empty()) Line(receivedAt, "-- " + FailureText(record), out);
}

std::string DroppedLine(std::chrono::system_clock::time_point time, uint64_t count) {
  return IsoLocalTime(time) + " -- Dropped " + std::to_string(count) + "\n";
}

}  // namespace dd
