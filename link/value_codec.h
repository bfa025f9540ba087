// Value encodings of the drive's registers: how a number becomes the data bytes of a
// request and how the data bytes of a reply become a number. Pure functions over byte
// spans, shared by the drive operations and by the drive simulator.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace dd {

// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4, -0.5 -> 0).
double RoundHalfEven(double value);

// Whole-number conversions of the double arguments of the multi-register writes.
// Empty when the value is not finite or lies outside the range after rounding, so that
// an out-of-range argument is refused instead of being sent wrapped around.
std::optional<uint32_t> WholeToU32(double value);  // 0 .. 4294967295
std::optional<int32_t> WholeToS32(double value);   // -2147483648 .. 2147483647
// Range check of the int32 argument of a one-register write: 0 .. 65535.
std::optional<uint16_t> WholeToU16(int32_t value);

// --- Encoding (request data bytes; the simulator also uses them for reply data) ---
// High byte first: byte 0 = value / 256, byte 1 = value % 256.
void EncodeU16(uint16_t value, std::span<uint8_t, 2> out);
// Low byte first: the argument's low byte lands in the register's high byte.
void EncodeU16LowFirst(uint16_t value, std::span<uint8_t, 2> out);
// Big-endian, first register is the high word.
void EncodeU32(uint32_t value, std::span<uint8_t, 4> out);
// Two's complement, big-endian.
void EncodeS32(int32_t value, std::span<uint8_t, 4> out);
// Four registers: upper 32 bits zero, the value in the last two registers.
void EncodeU64Low32(uint32_t value, std::span<uint8_t, 8> out);
// Four registers, big-endian (first register highest); for the simulator's replies.
void EncodeU64(uint64_t value, std::span<uint8_t, 8> out);

// --- Decoding (reply data bytes) ---
uint16_t DecodeU16(std::span<const uint8_t, 2> in);
uint16_t DecodeU16LowFirst(std::span<const uint8_t, 2> in);
uint32_t DecodeU32(std::span<const uint8_t, 4> in);
int32_t DecodeS32(std::span<const uint8_t, 4> in);
uint64_t DecodeU64(std::span<const uint8_t, 8> in);
// Four registers, only the first one.
uint16_t DecodeFirst16(std::span<const uint8_t, 8> in);
// Four registers, only the first two.
uint32_t DecodeFirst32(std::span<const uint8_t, 8> in);
// Four registers, only the last two, returned as a 32-bit signed integer. The register
// is a bit field, so a value of 2^31 or more keeps its bit pattern (two's complement)
// rather than being refused: every bit the program examines stays readable.
int32_t DecodeLast32(std::span<const uint8_t, 8> in);

}  // namespace dd
