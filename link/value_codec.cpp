#include "link/value_codec.h"

#include <cmath>

namespace dd {

double RoundHalfEven(double value) {
  const double floorValue = std::floor(value);
  const double fraction = value - floorValue;
  if (fraction < 0.5) return floorValue;
  if (fraction > 0.5) return floorValue + 1.0;
  return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

std::optional<uint32_t> WholeToU32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double whole = RoundHalfEven(value);
  if (whole < 0.0 || whole > 4294967295.0) return std::nullopt;
  return static_cast<uint32_t>(whole);
}

std::optional<int32_t> WholeToS32(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  const double whole = RoundHalfEven(value);
  if (whole < -2147483648.0 || whole > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(whole);
}

std::optional<uint16_t> WholeToU16(int32_t value) {
  if (value < 0 || value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(value);
}

void EncodeU16(uint16_t value, std::span<uint8_t, 2> out) {
  out[0] = static_cast<uint8_t>(value >> 8);
  out[1] = static_cast<uint8_t>(value & 0xFF);
}

void EncodeU16LowFirst(uint16_t value, std::span<uint8_t, 2> out) {
  out[0] = static_cast<uint8_t>(value & 0xFF);
  out[1] = static_cast<uint8_t>(value >> 8);
}

void EncodeU32(uint32_t value, std::span<uint8_t, 4> out) {
  out[0] = static_cast<uint8_t>(value >> 24);
  out[1] = static_cast<uint8_t>((value >> 16) & 0xFF);
  out[2] = static_cast<uint8_t>((value >> 8) & 0xFF);
  out[3] = static_cast<uint8_t>(value & 0xFF);
}

void EncodeS32(int32_t value, std::span<uint8_t, 4> out) {
  EncodeU32(static_cast<uint32_t>(value), out);
}

void EncodeU64Low32(uint32_t value, std::span<uint8_t, 8> out) {
  EncodeU64(value, out);
}

void EncodeU64(uint64_t value, std::span<uint8_t, 8> out) {
  for (int i = 0; i < 8; ++i) {
    out[static_cast<std::size_t>(i)] = static_cast<uint8_t>((value >> (56 - 8 * i)) & 0xFF);
  }
}

uint16_t DecodeU16(std::span<const uint8_t, 2> in) {
  return static_cast<uint16_t>((in[0] << 8) | in[1]);
}

uint16_t DecodeU16LowFirst(std::span<const uint8_t, 2> in) {
  return static_cast<uint16_t>((in[1] << 8) | in[0]);
}

uint32_t DecodeU32(std::span<const uint8_t, 4> in) {
  return (static_cast<uint32_t>(in[0]) << 24) | (static_cast<uint32_t>(in[1]) << 16) |
         (static_cast<uint32_t>(in[2]) << 8) | static_cast<uint32_t>(in[3]);
}

int32_t DecodeS32(std::span<const uint8_t, 4> in) {
  return static_cast<int32_t>(DecodeU32(in));
}

uint64_t DecodeU64(std::span<const uint8_t, 8> in) {
  uint64_t value = 0;
  for (const uint8_t byte : in) value = (value << 8) | byte;
  return value;
}

uint16_t DecodeFirst16(std::span<const uint8_t, 8> in) {
  return DecodeU16(in.first<2>());
}

uint32_t DecodeFirst32(std::span<const uint8_t, 8> in) {
  return DecodeU32(in.first<4>());
}

int32_t DecodeLast32(std::span<const uint8_t, 8> in) {
  return static_cast<int32_t>(DecodeU32(in.last<4>()));
}

}  // namespace dd
