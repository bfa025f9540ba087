// What every transaction put on the line and got back, for whoever watches the bus
// (drivectl --trace, the communication log).
#pragma once

#include <chrono>
#include <functional>
#include <span>
#include <string_view>

#include "link/modbus_rtu.h"

namespace dd {

// Each moment is when bytes moved: `sent` when the request had left (the write and its
// drain returned), `received` when reading the reply ended (at its last byte when it
// came whole). Bytes nobody asked for (request empty: a late reply or the rest of one)
// are timed when they were taken off the line; bytes found already waiting came within
// the caller's pause since the previous read gave up.
struct TransactionRecord {
  std::chrono::steady_clock::time_point sent;      // request left (order)
  std::chrono::steady_clock::time_point received;  // reading the reply ended
  std::chrono::system_clock::time_point sentWall;  // `sent`, for display
  std::span<const uint8_t> request;                // empty: bytes that arrived unasked
  std::span<const uint8_t> reply;                  // as received: may be short or corrupt
  // Bytes at the end of the request that never reached the line: all of them when the
  // port refused the write (unplugged adapter), and then no reply was awaited.
  std::size_t unwritten = 0;
  CommandResult result = kOk;
  int attempt = 1;              // n for the n-th identical request in a row after failures
  std::string_view operation;   // the drive operation, see OperationOfRequest
};

// Called on the transacting thread once the transaction is over; the spans live only for
// the call. Must be quick and must not block. Not thread-safe to change while
// transactions run; set it before use.
using FrameTrace = std::function<void(const TransactionRecord&)>;
void SetFrameTrace(FrameTrace trace);

// For Transact.
bool FrameTraceActive();
void TraceTransaction(const TransactionRecord& record);

}  // namespace dd
