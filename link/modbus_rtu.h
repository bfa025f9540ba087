// Modbus RTU framing shared by every drive operation: CRC, value encodings, reply
// lengths and the one write-then-read transaction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "link/serial_port.h"

namespace dd {

// 0 success, 1 reply too short (or no byte could be sent), 2 reply with a wrong CRC,
// -1 no port.
using CommandResult = int32_t;
inline constexpr CommandResult kOk = 0;
inline constexpr CommandResult kShortReply = 1;
inline constexpr CommandResult kBadCrc = 2;
inline constexpr CommandResult kNoPort = -1;
// The argument cannot be encoded (outside its encoding's range, or not finite): nothing
// was sent. Callers that keep their arguments in range never see it.
inline constexpr CommandResult kValueOutOfRange = 3;

// Short name of a result for messages: "Ok", "ShortReply", "BadCrc", "NoPort",
// "ValueOutOfRange", or "Unknown".
std::string_view CommandResultName(CommandResult result);

uint16_t Crc16(const uint8_t* data, std::size_t size);
// Stores the CRC over frame[0..n-1] at frame[n] (low) and frame[n+1] (high).
void AppendCrc(uint8_t* frame, std::size_t n);
// True if the last two of the n bytes are the CRC (low, high) of the bytes before them.
bool CheckCrc(const uint8_t* reply, std::size_t n);

// Function codes the program uses.
inline constexpr uint8_t kReadHolding = 3;
inline constexpr uint8_t kReadInput = 4;
inline constexpr uint8_t kWriteSingle = 6;
inline constexpr uint8_t kWriteMultiple = 16;

// The four request shapes, CRC appended.
std::array<uint8_t, 8> BuildReadRequest(uint8_t address, uint8_t function, uint16_t reg,
                                        uint16_t count);
// value holds the two data bytes as they go out (see EncodeU16 / EncodeU16LowFirst).
std::array<uint8_t, 8> BuildWriteOneRequest(uint8_t address, uint16_t reg,
                                            std::span<const uint8_t, 2> value);
// Function 16; data holds 4 or 8 bytes (2 or 4 registers): 13- or 17-byte frame.
std::vector<uint8_t> BuildWriteMultipleRequest(uint8_t address, uint16_t reg,
                                               std::span<const uint8_t> data);

// Fixed reply lengths: a read of n registers gets 5 + 2n bytes, every write gets 8.
inline constexpr std::size_t ReadReplyLength(uint16_t count) { return 5u + 2u * count; }
inline constexpr std::size_t kWriteReplyLength = 8;

// The one write-then-read transaction. Clears stale received bytes, sends the request,
// reads exactly reply.size() bytes and checks the reply's CRC (reads and writes alike:
// a corrupted write reply is not a confirmation). Returns kNoPort without sending on
// handle 0; kShortReply when fewer bytes came, or when the request could not be sent
// at all (no reply is awaited then, and the caller retries as for a silent drive);
// kBadCrc when the reply has the right length but a wrong CRC, or does not answer this
// request (another function code; for a read another byte count; for a write another
// register, value or count); kOk otherwise. The reply's address is not compared.
// After a reply that did not come in time, a request other than the same one again first
// discards what arrives until the line has been quiet for a guard time (60 ms after the
// give-up when nothing came, 15 ms when part of the reply came; at most 250 ms), so a
// late reply cannot pass for the answer to another register. A healthy line never waits.
// A retry that succeeds after an attempt that got nothing may have been answered by that
// attempt's late reply; its own reply is then guarded the same way, from the success.
CommandResult Transact(SerialHandle port, std::span<const uint8_t> request,
                       std::span<uint8_t> reply);

// A stopping command (the stop sequence, a jog's release) must not wait for the guard:
// a late reply cannot pass for a write's echo, at worst it costs one retry. The thread
// that holds a StopPriority sends without the guard's wait and leaves the guard armed
// for the next request of anyone else. Take it before waiting for the bus: meanwhile a
// thread that holds a YieldToStops (the polling) and would wait for the guard gives up
// its request without sending it (kShortReply) within a fraction of a millisecond, so
// the stop gets the bus. Such a thread should also not take the bus while StopWaiting().
class StopPriority {
 public:
  StopPriority();
  ~StopPriority();
  StopPriority(const StopPriority&) = delete;
  StopPriority& operator=(const StopPriority&) = delete;
};
class YieldToStops {
 public:
  YieldToStops();
  ~YieldToStops();
  YieldToStops(const YieldToStops&) = delete;
  YieldToStops& operator=(const YieldToStops&) = delete;
};
// A StopPriority exists on some thread.
bool StopWaiting();

}  // namespace dd
