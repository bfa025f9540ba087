#include "link/bus_probe.h"

#include <algorithm>
#include <array>
#include <chrono>

#include "link/drive_registers.h"
#include "link/frame_trace.h"
#include "link/modbus_rtu.h"
#include "link/value_codec.h"

namespace dd {

ProbeReply ProbeDriveModel(SerialHandle port, uint8_t address) {
  const auto request = BuildReadRequest(address, kReadHolding, reg::kDriveModel, 4);
  std::array<uint8_t, ReadReplyLength(4)> reply{};
  const auto sentAt = std::chrono::steady_clock::now();
  const auto sentWall = std::chrono::system_clock::now();
  // No purge first: bytes a drive sent after an earlier probe gave up are read as this
  // reply and name that drive, which the search then asks again.
  ProbeReply out;
  int32_t received = 0;
  if (WriteFrame(port, request.data(), request.size()) == 0) {
    out.result = ProbeResult::NotSent;
  } else {
    received = std::max(0, ReadReply(port, reply.data(), static_cast<int32_t>(reply.size())));
    PurgePort(port, true, true);
    const bool whole = received == static_cast<int32_t>(reply.size()) &&
                       CheckCrc(reply.data(), reply.size()) && reply[1] == kReadHolding &&
                       reply[2] == reply.size() - 5;
    if (received == 0) {
      out.result = ProbeResult::Silent;
    } else if (!whole) {
      out.result = ProbeResult::Garbled;
    } else if (reply[0] != address) {
      out.result = ProbeResult::OtherAddress;
      out.from = reply[0];
    } else {
      out.result = ProbeResult::Answered;
      out.model = DecodeFirst32(std::span<const uint8_t, 8>(reply.data() + 3, 8));
    }
  }
  if (FrameTraceActive()) {
    TransactionRecord record;
    record.sent = sentAt;
    record.received = std::chrono::steady_clock::now();
    record.sentWall = sentWall;
    record.request = request;
    record.reply = std::span<const uint8_t>(reply).first(static_cast<std::size_t>(received));
    record.result = out.result == ProbeResult::Answered                ? kOk
                    : received == static_cast<int32_t>(reply.size()) ? kBadCrc
                                                                     : kShortReply;
    record.operation = "ReadDriveModel";
    TraceTransaction(record);
  }
  return out;
}

}  // namespace dd
