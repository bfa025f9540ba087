#include "params/field_validation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace dd {
namespace {

using C = Control;

FieldBounds Bounds(double pulsesPerRev = 51200, std::string pulsesPerRevText = "51,200") {
  FieldBounds b;
  b.maxCurrent = 250;
  b.minCurrent = 50;
  b.speedCoefficient = 1;
  b.pulsesPerRev = pulsesPerRev;
  b.pulsesPerRevText = std::move(pulsesPerRevText);
  return b;
}

TEST(FieldValidation, eachFieldGivesItsExactOutcome) {
  const std::string up = "    大于允许输入的上限，请修改；\r\n    最大值为：";
  const std::string low = "    小于允许输入的下限，请修改；\r\n    最小值为：";
  const std::string bad = "    输入的数值不合规范，请修改；";
  const FieldBounds d = Bounds(), none{}, k384 = Bounds(3840000, "3,840,000"),
                    k6144 = Bounds(61440000, "61,440,000"), huge = Bounds(1e11, "100,000,000,000");
  // message nullopt: accepted
  struct Case { Control field; std::string text; const FieldBounds& bounds; std::optional<std::string> message; };
  const Case cases[] = {
      {C::DriveCurrentField, "2.5", d, std::nullopt}, {C::DriveCurrentField, "3.5", d, up + "2.5 A"},  // as 2 and 4
      {C::DriveCurrentField, "0.4", d, low + "0.5 A"}, {C::DriveCurrentField, "1", none, up + "0 A"},  // unconnected
      {C::DriveCurrentField, "21474837", d, up + "2.5 A"},  // too large to scale
      {C::DriveCurrentField, "", d, std::nullopt}, {C::DriveCurrentField, "1.2.3", d, bad},
      {C::CurrentReductionField, "29.5", d, std::nullopt}, {C::CurrentReductionField, "29.4", d, low + "30"},
      {C::CurrentReductionField, "101", d, up + "100"}, {C::CurrentReductionField, "3000000000", d, up + "100"},
      {C::ReductionDelayField, "65535", d, std::nullopt}, {C::ReductionDelayField, "65536", d, up + "65535"},
      {C::ReductionDelayField, "49", d, low + "50"}, {C::ReductionDelayField, "1,000", d, std::nullopt},
      {C::CommFilterField, "31", d, std::nullopt}, {C::CommFilterField, "32", d, up + "31"},
      {C::CommFilterField, "x", d, "输入的数值不合规范，请修改；"}, {C::InputBandwidthField, "abc", d, std::nullopt},
      {C::InPositionTimeField, "300", d, std::nullopt}, {C::InPositionTimeField, "301", d, up + "300"},
      {C::DriveNumberField, "247", d, std::nullopt}, {C::DriveNumberField, "40000", d, up + "247"},  // int16
      {C::SpeedFilterField, "-40000", d, "小于允许输入的下限，请修改；\r\n    最小值为：0"},
      {C::HomingFilterField, "18.5", d, std::nullopt}, {C::HomingFilterField, "19", d, up + "18"},
      {C::HomingFilterField, "1,0", d, bad}, {C::PulseLengthField, "3,840,000", k384, std::nullopt},
      {C::PulseLengthField, "3840001", k384, up + "3,840,000"},
      {C::PulseLengthField, "5000000000", huge, up + "2,147,483,647"},
      {C::DeviationAlarmField, "122880000", k384, std::nullopt},
      {C::DeviationAlarmField, "122880001", k384, up + "3,840,000*32"},
      {C::InPositionWindowField, "-1", k384, low + "0"},
      // 61,440,000 pulses, k = 60000: one unit is 0.0009765625 rpm; 64,500 units.
      {C::RunSpeedField, "62.98828125", k6144, up + "62.5"}, {C::RunSpeedField, "0.0009", k6144, low + "0.0009765625"},
      {C::HomingSpeedField, "63.75", k6144, std::nullopt}, {C::HomingSpeedField, "63.76", k6144, up + "63.75"},
      {C::StartSpeedField, "3", k6144, std::nullopt}, {C::StartSpeedField, "3.001", k6144, up + "3"},
      // 3,840,000 pulses: one unit is 0.015625 rpm; any other resolution: every number passes.
      {C::RunSpeedField, "150", k384, std::nullopt}, {C::RunSpeedField, "150.01", k384, up + "150"},
      {C::RunSpeedField, "100000", d, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValidateField(c.field, c.text, c.bounds), c.message) << "field " << c.field << " text '" << c.text << "'";
  }
  for (const C field : {C::LiveCurrentField, C::UnitsPerRevField, C::PulsesPerRevField, C::PortStatusField}) {
    EXPECT_EQ(ValidateField(field, "not a number", d), std::nullopt) << field;
  }
  FieldBounds b = k384;
  b.speedCoefficient = 35792;  // k leaves 32 bits: never divides, accepts any speed
  EXPECT_EQ(ValidateField(C::RunSpeedField, "1e300", b), std::nullopt);
  b.speedCoefficient = 0;
  EXPECT_EQ(ValidateField(C::RunSpeedField, "5", b), std::nullopt);
}

TEST(FieldValidation, groupedNumbersReadOnlyWhenWellFormed) {
  EXPECT_EQ(ReadFieldNumber("3,840,000"), 3840000.0);
  EXPECT_EQ(ReadFieldNumber("1,000.5"), 1000.5);
  for (const char* text : {"1,00", ",100", "1000,000", "1,000,", ""}) EXPECT_FALSE(ReadFieldNumber(text)) << text;
}

TEST(FieldKeyFilter, byFieldKindAndConnection) {
  const std::vector<Control> display{C::LiveCurrentField, C::UnitsPerRevField, C::PortStatusField, C::TravelField};
  const std::vector<Control> decimal{C::DriveCurrentField, C::CurrentReductionField, C::RunSpeedField,
                                     C::StartSpeedField, C::HomingSpeedField};
  const std::vector<Control> integer{C::ReductionDelayField, C::CommFilterField, C::PulseLengthField,
                                     C::DeviationAlarmField, C::InPositionWindowField, C::InPositionTimeField,
                                     C::InputBandwidthField, C::DriveNumberField, C::SpeedFilterField,
                                     C::HomingFilterField};
  struct Case { const std::vector<Control>& fields; std::u32string keys; bool connected, kept; };
  const Case cases[] = {{display, U"5\b.", true, false}, {decimal, U"09.\b", true, true},
                        {decimal, U"-\r\x16\x1b" U"e,５", true, false}, {decimal, U"5\b", false, false},
                        {integer, U"7\b", true, true}, {integer, U".+\x16", true, false},
                        {integer, U"7\b", false, false}};
  for (const Case& c : cases) {
    for (const Control field : c.fields) {
      for (const char32_t key : c.keys) {
        EXPECT_EQ(KeepFieldKey(field, key, c.connected), c.kept)
            << "field " << field << " key " << static_cast<uint32_t>(key) << " connected " << c.connected;
      }
    }
  }
}

}  // namespace
}  // namespace dd
