#include "link/value_codec.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <string>
#include <cmath>
#include <limits>

#include "link/modbus_rtu.h"
#include "tests/link/pty_peer.h"

namespace dd {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

TEST(Crc16, checkValueLowByteFirstAndExchangedBytesFail) {
  const std::string text = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0x4B37);
  auto frame = Hex("01 04 00 40 00 01 00 00");
  AppendCrc(frame.data(), 6);
  EXPECT_EQ(ToHex(frame), "01 04 00 40 00 01 30 1E");
  EXPECT_TRUE(CheckCrc(frame.data(), frame.size()));
  std::swap(frame[6], frame[7]);
  EXPECT_FALSE(CheckCrc(frame.data(), frame.size()));
}

TEST(ValueCodec, encodingsBothWays) {
  std::array<uint8_t, 2> b{};
  EncodeU16LowFirst(0x0420, b);
  EXPECT_EQ(ToHex(b), "20 04");
  EXPECT_EQ(DecodeU16LowFirst(b), 0x0420);
  const std::tuple<const char*, uint32_t, int32_t> fours[] = {
      {"FF FF FF FE", 4294967294u, -2},
      {"80 00 00 00", 2147483648u, std::numeric_limits<int32_t>::min()},
      {"7F FF FF FF", 2147483647u, 2147483647},
      {"01 02 03 04", 0x01020304u, 0x01020304}};
  for (const auto& [hex, u32, s32] : fours) {
    const auto bytes = Hex(hex);
    const std::span<const uint8_t, 4> in(bytes.data(), 4);
    EXPECT_EQ(DecodeU32(in), u32);
    EXPECT_EQ(DecodeS32(in), s32);
    std::array<uint8_t, 4> out{};
    EncodeS32(s32, out);
    EXPECT_EQ(ToHex(out), hex);
  }
  std::array<uint8_t, 8> out{};
  out.fill(0xAA);
  EncodeU64Low32(524288, out);
  EXPECT_EQ(ToHex(out), "00 00 00 00 00 08 00 00");
  // Four-register reads that use part of the block ignore the rest.
  const auto bytes = Hex("00 32 11 22 80 44 55 66");
  const std::span<const uint8_t, 8> in(bytes.data(), 8);
  EXPECT_EQ(DecodeFirst16(in), 0x32);
  EXPECT_EQ(DecodeFirst32(in), 0x00321122u);
  EXPECT_EQ(static_cast<uint32_t>(DecodeLast32(in)), 0x80445566u);
  EXPECT_EQ(DecodeU64(in), 0x0032112280445566ull);
}

TEST(ValueCodec, roundHalfEven_tiesGoToEvenNeighbour) {
  const std::pair<double, double> cases[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4},
                                             {0.5, 0}, {1.4999, 1}, {1.5001, 2}, {-0.4, 0}};
  for (const auto& [in, out] : cases) EXPECT_EQ(RoundHalfEven(in), out) << in;
}

TEST(ValueCodec, wholeConversions_refuseOutOfRangeAndNonFinite) {
  EXPECT_EQ(WholeToU32(4294967295.0), 4294967295u);
  EXPECT_FALSE(WholeToU32(4294967296.0));
  EXPECT_FALSE(WholeToU32(-1.0));
  EXPECT_EQ(WholeToU32(-0.4), 0u);
  EXPECT_FALSE(WholeToU32(std::nan("")));
  EXPECT_EQ(WholeToS32(-2147483648.0), std::numeric_limits<int32_t>::min());
  EXPECT_FALSE(WholeToS32(2147483648.0));
  EXPECT_FALSE(WholeToS32(-2147483649.0));
  EXPECT_FALSE(WholeToS32(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(WholeToU16(65535), 65535);
  EXPECT_FALSE(WholeToU16(65536));
  EXPECT_FALSE(WholeToU16(-1));
}

}  // namespace
}  // namespace dd
