// Any bytes as a drive's reply: the CRC check and every decoder cope, and the decoders of
// one block agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "link/modbus_rtu.h"
#include "link/value_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)dd::CheckCrc(data, size);
  if (size < 12) return 0;
  const std::span<const uint8_t> bytes(data, size);
  const uint32_t u = dd::DecodeU32(bytes.subspan<0, 4>());
  if (static_cast<uint32_t>(dd::DecodeS32(bytes.subspan<0, 4>())) != u) std::abort();
  uint8_t again[4];
  dd::EncodeU32(u, again);
  for (int i = 0; i < 4; ++i) {
    if (again[i] != data[i]) std::abort();
  }
  const auto four = bytes.subspan<4, 8>();
  const uint64_t all = dd::DecodeU64(four);
  if (dd::DecodeFirst16(four) != (all >> 48) || dd::DecodeFirst32(four) != (all >> 32) ||
      static_cast<uint32_t>(dd::DecodeLast32(four)) != static_cast<uint32_t>(all)) {
    std::abort();
  }
  return 0;
}
