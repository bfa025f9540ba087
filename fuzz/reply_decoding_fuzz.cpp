// Any bytes as a drive's reply: the CRC check and every decoder must cope, and a reply
// that passes the check must decode to what its data bytes say.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "link/modbus_rtu.h"
#include "link/value_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the expected reply length, as the request would.
  static constexpr std::size_t kLengths[] = {7, 8, 9, 13};
  const std::size_t expected = kLengths[data[0] % 4];
  std::vector<uint8_t> reply(data + 1, data + size);
  if (reply.size() < expected) return 0;  // a short reply never reaches decoding
  reply.resize(expected);
  if (!dd::CheckCrc(reply.data(), reply.size())) return 0;
  const std::span<const uint8_t> bytes(reply);
  switch (expected) {
    case 7: {
      const uint16_t v = dd::DecodeU16(bytes.subspan<3, 2>());
      if (v != reply[3] * 256 + reply[4]) std::abort();
      break;
    }
    case 9: {
      const uint32_t u = dd::DecodeU32(bytes.subspan<3, 4>());
      const int32_t s = dd::DecodeS32(bytes.subspan<3, 4>());
      if (static_cast<uint32_t>(s) != u) std::abort();
      uint8_t again[4];
      dd::EncodeU32(u, again);
      for (int i = 0; i < 4; ++i) {
        if (again[i] != reply[static_cast<std::size_t>(3 + i)]) std::abort();
      }
      break;
    }
    case 13: {
      const auto four = bytes.subspan<3, 8>();
      const uint64_t all = dd::DecodeU64(four);
      if (dd::DecodeFirst16(four) != (all >> 48)) std::abort();
      if (dd::DecodeFirst32(four) != (all >> 32)) std::abort();
      if (static_cast<uint32_t>(dd::DecodeLast32(four)) != static_cast<uint32_t>(all)) std::abort();
      break;
    }
    default:
      break;
  }
  return 0;
}
