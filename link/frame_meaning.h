// What a request and its reply mean in the drive's terms: the operation, its register
// and the value read or written, for the communication log.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace dd {

enum class ValueEncoding { None, U16, U16LowFirst, U32, S32, U64, First16, First32, Last32, U64Low32 };

struct OperationShape {
  std::string_view name;
  uint8_t function = 0;
  uint16_t reg = 0;
  uint16_t count = 1;          // registers read or written
  ValueEncoding encoding = ValueEncoding::None;
  double scale = 1;            // shown value = register value x scale
  std::string_view unit;       // of the shown value; empty when the drive gives none
  int32_t command = -1;        // control-word value of a command, else -1
};

// The operation this request belongs to, or nullptr for a frame the program never sends.
const OperationShape* OperationOfRequest(std::span<const uint8_t> request);

// The value a write request carries, or a read's value from its complete reply (the
// reply's CRC is not checked here), scaled to the unit; nullopt when there is none.
std::optional<double> FrameValue(const OperationShape& shape, std::span<const uint8_t> request,
                                 std::span<const uint8_t> reply);

// The value's register image as the frame carries it (before the operation's scale).
std::optional<double> FrameRegisterValue(const OperationShape& shape, std::span<const uint8_t> request,
                                         std::span<const uint8_t> reply);

// The exception code of a reply that is a Modbus exception to this request (5 bytes,
// the request's function code with the high bit set, a good CRC); nullopt otherwise.
std::optional<uint8_t> ExceptionCode(std::span<const uint8_t> request, std::span<const uint8_t> reply);
// "IllegalFunction", "IllegalDataAddress", ... for the standard codes, else "Unknown".
std::string_view ExceptionName(uint8_t code);

}  // namespace dd
