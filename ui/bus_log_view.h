// What a communication log window shows, for every front-end alike: each record of the
// bus log as rows of local time, direction, bytes and meaning, in the window's Chinese
// and the form's units (the register value beside), and the counters below the table.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "app/bus_log.h"

namespace dd {

struct SharedState;

struct BusLogRow {
  std::string time, direction, bytes, meaning;
  bool failed = false;
  uint64_t sequence = 0;  // of the record it shows
  // The text in column `column` of kBusLogColumnTitles.
  const std::string& Cell(int column) const {
    return column == 0 ? time : column == 1 ? direction : column == 2 ? bytes : meaning;
  }
};

// The window's name for a drive operation: "运行速度" for ReadRunSpeed and WriteRunSpeed,
// "停止运动" for StopMotion; the name itself for one it does not know.
std::string OperationCaption(std::string_view operation);
// The window's name for a failure of FailureName(): "超时", "迟到应答", ...
std::string FailureCaption(std::string_view failure);
// "从站设备故障" for exception code 4, ...
std::string ExceptionMeaning(uint8_t code);
// A register value as the form shows it ("900 rpm", "77 圈", "Step=0  Dir=1 …"), followed
// by "（原始值 768）" where that differs from the register value.
std::string ValueReading(std::string_view operation, double registerValue, const LogUnits& units);

// The table's column titles, in order.
inline constexpr const char* kBusLogColumnTitles[] = {"时间", "方向", "字节", "含义"};
inline constexpr int kBusLogColumnCount = 4;

// Values in the units the record was logged in, the register value beside.
void AppendLogRows(const BusRecord& record, std::vector<BusLogRow>& rows);
// One of the status polling's nine reads.
bool IsPollingRead(const BusRecord& record);

// The table's filters; notices, repeats and a port's return stay under "只显示失败".
struct BusLogFilter {
  bool hidePolling = false;   // "隐藏轮询读取"
  bool failuresOnly = false;  // "只显示失败"
  bool Passes(const BusRecord& record) const;
};

// The counters below the table, over everything taken since opening or clearing,
// whatever the filters and also while the table is paused.
class BusLogTally {
 public:
  void Take(const BusRecord& record);
  void Lost(uint64_t count) { lost_ += count; }
  void Clear();
  // "请求 5    重试 1    失败 超时 1    轮询 28 次/秒", the polling cycles of the last
  // second before `now`; "（已暂停）" when the table is paused.
  std::string Text(std::chrono::steady_clock::time_point now, bool paused);

 private:
  uint64_t requests_ = 0, retries_ = 0, lost_ = 0, unsent_ = 0;
  std::map<std::string, uint64_t> failures_;
  std::deque<std::chrono::steady_clock::time_point> cycleStarts_;
};

}  // namespace dd
