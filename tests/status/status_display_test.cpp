// Text forms of the status fields and the error texts.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "status/error_codes.h"
#include "status/status_display.h"

namespace dd {
namespace {

TEST(RunTimeText, secondsShowAsDaysAndClock) {
  struct Case {
    double seconds;
    const char* text;
  };
  const Case cases[] = {
      {0, "00:00:00"},          {5, "00:00:05"},         {3599, "00:59:59"},
      {86399, "23:59:59"},      // hours never reach 24
      {86400, "1天00:00:00"},   {90061, "1天01:01:01"},  {93784, "1天02:03:04"},
      {864000, "10天00:00:00"}, {4294967295.0, "49710天06:28:15"},  // largest U32
      {1.5, "00:00:02"},        {2.5, "00:00:02"},  // whole seconds first, halves to even
  };
  for (const auto& c : cases) EXPECT_EQ(RunTimeText(c.seconds), c.text) << c.seconds;
}

TEST(PortStatusText, ninePiecesInBitOrderWithTwoBlanks) {
  struct Case {
    int32_t word;
    const char* text;
  };
  const Case cases[] = {
      {0x0003, "Step=1  Dir=1  Free=0  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  "},
      {0x0001, "Step=1  Dir=0  Free=0  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  "},
      {0x3708, "Step=0  Dir=0  Free=0  Zero=1  Ready=1  INP=1  BRK=1  PSL=1  PSH=1  "},
      {0x0004, "Step=0  Dir=0  Free=1  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  "},
      // Bits 4-7, 11, 14 and 15 are not shown.
      {0xC8F0, "Step=0  Dir=0  Free=0  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  "},
      {0xFFFF, "Step=1  Dir=1  Free=1  Zero=1  Ready=1  INP=1  BRK=1  PSL=1  PSH=1  "},
  };
  for (const auto& c : cases) EXPECT_EQ(PortStatusText(c.word), c.text) << std::hex << c.word;
}

TEST(DecodePortInputs, lowFourBitsAreTheSteeringInputs) {
  const PortInputs none = DecodePortInputs(0xFFF0);
  EXPECT_FALSE(none.step || none.dir || none.free || none.zero);
  const PortInputs stepZero = DecodePortInputs(0x0009);
  EXPECT_TRUE(stepZero.step && stepZero.zero);
  EXPECT_FALSE(stepZero.dir || stepZero.free);
  const PortInputs dirFree = DecodePortInputs(0x0006);
  EXPECT_TRUE(dirFree.dir && dirFree.free);
  EXPECT_FALSE(dirFree.step || dirFree.zero);
}

TEST(ErrorText, knownCodesShowTheirMessageOthersTheNumber) {
  struct Case {
    uint16_t code;
    const char* text;
  };
  const Case cases[] = {
      {0, "驱动器正常"},          {257, "驱动器内部固件程序紊乱"}, {278, "驱动器内部记忆数据丢失"},
      {536, "位差超时"},          {783, "电机过流"},               {1042, "正向堵转"},
      {1043, "反向堵转"},         {1044, "错误码：1044"},          {256, "错误码：256"},
      {4660, "错误码：4660"},     {1, "错误码：1"},                {65535, "错误码：65535"},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
}

TEST(ErrorCodeTable, thirtyThreeDistinctCodesGroupedByHighByte) {
  std::set<uint16_t> codes;
  for (const auto& entry : ErrorCodeTable) {
    codes.insert(entry.code);
    EXPECT_FALSE(entry.message.empty());
    EXPECT_LE(entry.code >> 8, 4) << entry.code;
  }
  EXPECT_EQ(codes.size(), 33u);
}

TEST(LiveValueText, currentSpeedAndTravelForms) {
  // Current in 0.01 A, "0.00".
  EXPECT_EQ(CurrentText(150), "1.50");
  EXPECT_EQ(CurrentText(0), "0.00");
  EXPECT_EQ(CurrentText(1), "0.01");
  EXPECT_EQ(CurrentText(5), "0.05");
  EXPECT_EQ(CurrentText(65535), "655.35");

  // Speed: value * (coefficient * 60000) / pulses per revolution, "0.000".
  struct SpeedCase {
    double value;
    int32_t coefficient;
    double pulsesPerRev;
    const char* text;
  };
  const SpeedCase speeds[] = {
      {512, 1, 51200, "600.000"}, {-512, 1, 51200, "-600.000"}, {0, 1, 51200, "0.000"},
      {4, 1, 51200, "4.688"},  // 4.6875: half to even
      {1, 3, 40000, "4.500"},     {1, 1, 17066.6666666667, "3.516"},
  };
  for (const auto& c : speeds) {
    EXPECT_EQ(SpeedRpmText(c.value, c.coefficient, c.pulsesPerRev), c.text) << c.value;
  }

  // Travel: pulses / pulses per revolution, whole revolutions grouped.
  struct TravelCase {
    double pulses;
    double pulsesPerRev;
    const char* text;
  };
  const TravelCase travels[] = {
      {51200.0 * 12345, 51200, "12,345"}, {0, 51200, "0"},
      {25600, 51200, "0"}, {76800, 51200, "2"},  // 0.5 and 1.5 round to even
      {4294967296.0, 51200, "83,886"},    {51200.0 * 1000000, 51200, "1,000,000"},
  };
  for (const auto& c : travels) EXPECT_EQ(TravelText(c.pulses, c.pulsesPerRev), c.text) << c.pulses;

  EXPECT_EQ(PositionText(-2147483648.0), "-2147483648");
  EXPECT_EQ(PositionText(51200), "51200");
  EXPECT_EQ(PositionText(0), "0");
}

}  // namespace
}  // namespace dd
