// What a communication log window shows, without the window: which lines a bus record
// makes, their texts, the filters and the counters below the table. The Win32 window
// keeps only an index of these lines and reads the records from the bus log's ring.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/bus_log.h"

namespace dd {

// One shown line of a record: its request, its reply, its failure, or a notice.
enum class BusLogLine : uint8_t { Request, Reply, Failure, Notice };

struct BusLogRow {
  uint64_t sequence = 0;
  BusLogLine line = BusLogLine::Request;
};

// The columns of the table, in order.
enum class BusLogColumn { Time, Direction, Bytes, Meaning };
inline constexpr int kBusLogColumnCount = 4;
const char* BusLogColumnTitle(BusLogColumn column);

// One of the status polling's reads.
bool IsPollingRead(const BusRecord& record);

struct BusLogFilter {
  bool hidePolling = false;   // "隐藏轮询读取"
  bool failuresOnly = false;  // "只显示失败" (notices stay)
  bool Passes(const BusRecord& record) const;
};

// Appends the lines `record` shows as.
void AppendBusLogRows(const BusRecord& record, std::vector<BusLogRow>& rows);
std::string BusLogCellText(const BusRecord& record, BusLogLine line, BusLogColumn column);
// Drawn on a red background.
bool BusLogRowFailed(const BusRecord& record, BusLogLine line);

// Requests, retries, failures by name and polling cycles per second, counted over
// everything taken since opening or clearing, whatever the filters.
class BusLogCounters {
 public:
  void Count(const BusRecord& record);
  void AddLost(uint64_t lost) { lost_ += lost; }
  void Clear();
  std::string Text(bool paused, std::chrono::steady_clock::time_point now);

 private:
  uint64_t requests_ = 0, retries_ = 0, lost_ = 0;
  std::map<std::string, uint64_t> failures_;
  std::deque<std::chrono::steady_clock::time_point> cycleStarts_;  // the last second's
};

}  // namespace dd
