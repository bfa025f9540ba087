// Text forms of the status fields and the error texts.
#include <gtest/gtest.h>

#include <string>

#include "status/error_codes.h"
#include "status/status_display.h"

namespace dd {
namespace {

TEST(RunTimeText, secondsShowAsDaysAndClock) {
  struct Case { double seconds; const char* text; };
  for (const Case& c : {Case{0, "00:00:00"}, Case{3599, "00:59:59"}, Case{86399, "23:59:59"},
                        Case{90061, "1天01:01:01"}, Case{93784, "1天02:03:04"}, Case{864000, "10天00:00:00"},
                        Case{4294967295.0, "49710天06:28:15"},  // largest U32
                        Case{1.5, "00:00:02"}, Case{2.5, "00:00:02"}}) {  // whole seconds, halves to even
    EXPECT_EQ(RunTimeText(c.seconds), c.text) << c.seconds;
  }
}

TEST(PortStatusText, ninePiecesInBitOrderWithTwoBlanks) {
  EXPECT_EQ(PortStatusText(0x0001), "Step=1  Dir=0  Free=0  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  ");
  EXPECT_EQ(PortStatusText(0x3708), "Step=0  Dir=0  Free=0  Zero=1  Ready=1  INP=1  BRK=1  PSL=1  PSH=1  ");
  EXPECT_EQ(PortStatusText(0x0006), "Step=0  Dir=1  Free=1  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  ");
  // Bits 4-7, 11, 14 and 15 are not shown.
  EXPECT_EQ(PortStatusText(0xC8F0), "Step=0  Dir=0  Free=0  Zero=0  Ready=0  INP=0  BRK=0  PSL=0  PSH=0  ");
}

TEST(ErrorText, knownCodesShowTheirMessageOthersTheNumber) {
  struct Case { uint16_t code; const char* text; };
  for (const Case& c : {Case{0, "驱动器正常"}, Case{257, "驱动器内部固件程序紊乱"}, Case{278, "驱动器内部记忆数据丢失"},
                        Case{536, "位差超时"}, Case{783, "电机过流"}, Case{1042, "正向堵转"}, Case{1043, "反向堵转"},
                        Case{1044, "错误码：1044"}, Case{256, "错误码：256"}, Case{65535, "错误码：65535"}}) {
    EXPECT_EQ(ErrorText(c.code), c.text) << c.code;
  }
}

TEST(LiveValueText, currentSpeedTravelAndPositionForms) {
  EXPECT_EQ(CurrentText(65535), "655.35");  // 0.01 A
  // Speed: value * (coefficient * 60000) / pulses per revolution, "0.000".
  struct SpeedCase { double value; int32_t coefficient; double pulsesPerRev; const char* text; };
  for (const SpeedCase& c : {SpeedCase{-512, 1, 51200, "-600.000"}, SpeedCase{4, 1, 51200, "4.688"},  // half to even
                             SpeedCase{1, 3, 40000, "4.500"}, SpeedCase{1, 1, 17066.6666666667, "3.516"}}) {
    EXPECT_EQ(SpeedRpmText(c.value, c.coefficient, c.pulsesPerRev), c.text) << c.value;
  }
  // Travel: pulses / pulses per revolution, whole revolutions grouped; halves to even.
  EXPECT_EQ(TravelText(76800, 51200), "2");
  EXPECT_EQ(TravelText(4294967296.0, 51200), "83,886");
  EXPECT_EQ(TravelText(51200.0 * 1000000, 51200), "1,000,000");
  EXPECT_EQ(PositionText(-2147483648.0), "-2147483648");
}

}  // namespace
}  // namespace dd
