// The text form of the communication log, shared by the log file and the window's save:
//   2026-12-07T04:01:02.123Z TX 01 04 00 40 00 01 30 1E
//   2026-12-07T04:01:02.127Z RX 01 04 02 02 00 B8 44
//   2026-12-07T04:01:02.143Z -- Timeout
//   2026-12-07T04:01:02.150Z -- Notice USB 适配器的延迟计时器为 16 ms，…
// A failed transaction adds the "--" line with its result's name; a notice about the
// line has a "--" line of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/bus_log.h"

namespace dd {

// ISO 8601 in UTC with milliseconds.
std::string IsoTime(std::chrono::system_clock::time_point time);
// Uppercase hexadecimal, single blanks between bytes.
std::string HexBytes(std::span<const uint8_t> bytes);
// Name of the failure, empty on success: "Timeout" when no byte came, "LateReply" for
// bytes that came after their read gave up (discarded), else the result's name.
std::string_view FailureName(const BusRecord& record);
// Appends the record's lines, each ending in a newline.
void AppendLogLines(const BusRecord& record, std::string& out);
// The line that stands for records a slow reader lost.
std::string DroppedLine(std::chrono::system_clock::time_point time, uint64_t count);

}  // namespace dd
