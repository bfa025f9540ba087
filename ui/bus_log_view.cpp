#include "ui/bus_log_view.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "app/bus_log_format.h"
#include "link/frame_meaning.h"

namespace dd {
namespace {

// The status worker's reads; every cycle begins with the error code.
constexpr std::array<std::string_view, 9> kPollingReads{
    "ReadErrorCode", "ReadActualPosition", "ReadTargetPosition", "ReadPositionDeviation",
    "ReadActualCurrent", "ReadActualSpeed", "ReadRunTime", "ReadTravelTotal", "ReadPortStatus"};

std::string ValueText(const OperationShape& shape, double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", shape.scale < 1 ? 2 : 0, value);
  std::string out = text;
  if (!shape.unit.empty()) out += ' ' + std::string(shape.unit);
  return out;
}

std::string Hex4(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value) & 0xFFFFu);
  return text;
}

std::string RequestMeaning(const BusRecord& r) {
  const OperationShape* shape = OperationOfRequest(r.Request());
  if (shape == nullptr) return "程序不发送的请求";
  std::string text(shape->name);
  if (shape->command >= 0) {
    text += " 控制字 0x" + Hex4(shape->command);
  } else {
    text += " 寄存器 0x" + Hex4(shape->reg);
    const bool write = shape->function == 6 || shape->function == 16;
    if (const auto value = FrameValue(*shape, r.Request(), {}); write && value) {
      text += " 写入 " + ValueText(*shape, *value);
    }
  }
  if (r.attempt > 1) text += "（第 " + std::to_string(r.attempt) + " 次）";
  return text;
}

std::string ReplyMeaning(const BusRecord& r) {
  if (r.Request().empty()) return "读取放弃后迟到的应答，已丢弃";
  if (r.result != kOk) return std::to_string(r.replySize) + " 字节，无法使用";
  const OperationShape* shape = OperationOfRequest(r.Request());
  if (shape == nullptr) return {};
  const bool read = shape->function == 3 || shape->function == 4;
  if (!read) return "驱动器已确认";
  const auto value = FrameValue(*shape, r.Request(), r.Reply());
  return value ? std::string(shape->name) + " = " + ValueText(*shape, *value) : std::string();
}

}  // namespace

const char* BusLogColumnTitle(BusLogColumn column) {
  static const char* const kTitles[] = {"时间", "方向", "字节", "含义"};
  return kTitles[static_cast<int>(column)];
}

bool IsPollingRead(const BusRecord& r) {
  return std::find(kPollingReads.begin(), kPollingReads.end(), r.operation) != kPollingReads.end();
}

bool BusLogFilter::Passes(const BusRecord& r) const {
  if (hidePolling && IsPollingRead(r)) return false;
  if (failuresOnly && FailureName(r).empty() && !r.notice) return false;
  return true;
}

void AppendBusLogRows(const BusRecord& r, std::vector<BusLogRow>& rows) {
  if (r.notice) {
    rows.push_back({r.sequence, BusLogLine::Notice});
    return;
  }
  if (!r.Request().empty()) rows.push_back({r.sequence, BusLogLine::Request});
  if (r.replySize > 0) rows.push_back({r.sequence, BusLogLine::Reply});
  if (!FailureName(r).empty()) rows.push_back({r.sequence, BusLogLine::Failure});
}

bool BusLogRowFailed(const BusRecord& r, BusLogLine line) {
  return line != BusLogLine::Notice && !FailureName(r).empty();
}

std::string BusLogCellText(const BusRecord& r, BusLogLine line, BusLogColumn column) {
  switch (column) {
    case BusLogColumn::Time:
      return IsoTime(line == BusLogLine::Request || line == BusLogLine::Notice ? r.sentWall
                                                                              : r.ReceivedWall());
    case BusLogColumn::Direction:
      return line == BusLogLine::Request ? "TX" : line == BusLogLine::Reply ? "RX" : "--";
    case BusLogColumn::Bytes:
      if (line == BusLogLine::Request) return HexBytes(r.Request());
      if (line == BusLogLine::Reply) return HexBytes(r.Reply());
      return line == BusLogLine::Failure ? std::string(FailureName(r)) : std::string();
    case BusLogColumn::Meaning:
      switch (line) {
        case BusLogLine::Request: return RequestMeaning(r);
        case BusLogLine::Reply: return ReplyMeaning(r);
        case BusLogLine::Failure: return "失败：" + std::string(FailureName(r));
        case BusLogLine::Notice: return "提示：" + (r.notice ? *r.notice : std::string());
      }
  }
  return {};
}

void BusLogCounters::Count(const BusRecord& r) {
  if (!r.Request().empty()) ++requests_;
  if (r.attempt > 1) ++retries_;
  if (const auto failure = FailureName(r); !failure.empty()) ++failures_[std::string(failure)];
  if (r.operation == kPollingReads[0] && r.attempt == 1) cycleStarts_.push_back(r.sent);
}

void BusLogCounters::Clear() { *this = BusLogCounters{}; }

std::string BusLogCounters::Text(bool paused, std::chrono::steady_clock::time_point now) {
  while (!cycleStarts_.empty() && now - cycleStarts_.front() > std::chrono::seconds(1)) {
    cycleStarts_.pop_front();
  }
  std::string failures;
  for (const auto& [name, count] : failures_) failures += ' ' + name + ' ' + std::to_string(count);
  std::string text = "请求 " + std::to_string(requests_) + "    重试 " + std::to_string(retries_) +
                     "    失败" + (failures.empty() ? std::string(" 0") : failures) + "    轮询 " +
                     std::to_string(cycleStarts_.size()) + " 次/秒";
  if (lost_ > 0) text += "    未能显示 " + std::to_string(lost_);
  if (paused) text += "    （已暂停）";
  return text;
}

}  // namespace dd
