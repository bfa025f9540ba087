// The text form of the communication log, shared by the log file and the window's save:
//   2026-12-07T12:01:02.123+08:00 TX 01 04 00 40 00 01 30 1E
//   2026-12-07T12:01:02.127+08:00 RX 01 04 02 02 00 B8 44
//   2026-12-07T12:01:02.143+08:00 -- Timeout
//   2026-12-07T12:01:02.150+08:00 -- Notice USB 适配器的延迟计时器为 16 ms，…
// Times are local with their offset from UTC. A failed transaction adds the "--" line
// with its failure's name (an exception reply also its code and name); a notice, a
// collapsed repeat and a port that works again have a "--" line of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "app/bus_log.h"

namespace dd {

// Uppercase hexadecimal, single blanks between bytes.
std::string HexBytes(std::span<const uint8_t> bytes);
// Name of the failure, empty on success: "Timeout" when no byte came, "LateReply" for
// bytes that came unasked (discarded), "Exception" for a Modbus exception reply,
// "PortError" when the port refused the request, else the result's name. A Repeated
// record has the name of the failure it repeats.
std::string_view FailureName(const BusRecord& record);
// Appends the record's lines, each ending in a newline.
void AppendLogLines(const BusRecord& record, std::string& out);
// The line that stands for records a slow reader lost.
std::string DroppedLine(std::chrono::system_clock::time_point time, uint64_t count);

}  // namespace dd
