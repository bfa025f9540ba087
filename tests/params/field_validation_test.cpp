#include "params/field_validation.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace dd {
namespace {

using C = Control;

const std::string kUp = "    大于允许输入的上限，请修改；\r\n    最大值为：";
const std::string kLow = "    小于允许输入的下限，请修改；\r\n    最小值为：";

FieldBounds Bounds(double pulsesPerRev = 51200, std::string pulsesPerRevText = "51,200") {
  FieldBounds b;
  b.maxCurrent = 250;
  b.minCurrent = 50;
  b.speedCoefficient = 1;
  b.pulsesPerRev = pulsesPerRev;
  b.pulsesPerRevText = std::move(pulsesPerRevText);
  return b;
}

struct Case {
  Control field;
  std::string text;
  FieldBounds bounds;
  std::optional<std::string> message;  // nullopt: accepted
};

class ValidationTable : public ::testing::TestWithParam<Case> {};

TEST_P(ValidationTable, givesExactOutcome) {
  const Case& c = GetParam();
  EXPECT_EQ(ValidateField(c.field, c.text, c.bounds), c.message)
      << "field " << c.field << " text '" << c.text << "'";
}

const FieldBounds k384 = Bounds(3840000, "3,840,000");
const FieldBounds k6144 = Bounds(61440000, "61,440,000");

INSTANTIATE_TEST_SUITE_P(
    CurrentField, ValidationTable,
    ::testing::Values(
        Case{C::DriveCurrentField, "2.5", Bounds(), std::nullopt},               // compared as 2 -> 200
        Case{C::DriveCurrentField, "3.5", Bounds(), kUp + "2.5 A"},              // compared as 4 -> 400
        Case{C::DriveCurrentField, "2.6", Bounds(), kUp + "2.5 A"},
        Case{C::DriveCurrentField, "0.4", Bounds(), kLow + "0.5 A"},             // 0 < 50
        Case{C::DriveCurrentField, "1", FieldBounds{}, kUp + "0 A"},             // never connected
        Case{C::DriveCurrentField, "21474837", Bounds(), kUp + "2.5 A"},         // too large to scale
        Case{C::DriveCurrentField, "99999999999999", Bounds(), kUp + "2.5 A"},
        Case{C::DriveCurrentField, "", Bounds(), std::nullopt},
        Case{C::DriveCurrentField, "1.2.3", Bounds(), "    输入的数值不合规范，请修改；"}));

INSTANTIATE_TEST_SUITE_P(
    FixedRanges, ValidationTable,
    ::testing::Values(
        Case{C::CurrentReductionField, "29.5", Bounds(), std::nullopt},              // halves to even: 30
        Case{C::CurrentReductionField, "29.4", Bounds(), kLow + "30"},
        Case{C::CurrentReductionField, "100.5", Bounds(), std::nullopt},             // 100
        Case{C::CurrentReductionField, "101", Bounds(), kUp + "100"},
        Case{C::CurrentReductionField, "3000000000", Bounds(), kUp + "100"},         // beyond int32
        Case{C::ReductionDelayField, "50", Bounds(), std::nullopt},
        Case{C::ReductionDelayField, "65535", Bounds(), std::nullopt},
        Case{C::ReductionDelayField, "49", Bounds(), kLow + "50"},
        Case{C::ReductionDelayField, "65536", Bounds(), kUp + "65535"},
        Case{C::ReductionDelayField, "1,000", Bounds(), std::nullopt},             // as the grid shows it
        Case{C::CommFilterField, "31", Bounds(), std::nullopt},
        Case{C::CommFilterField, "32", Bounds(), kUp + "31"},
        Case{C::CommFilterField, "x", Bounds(), "输入的数值不合规范，请修改；"},
        Case{C::CommFilterField, "1.2.3", Bounds(), "输入的数值不合规范，请修改；"},
        Case{C::InPositionTimeField, "300", Bounds(), std::nullopt},
        Case{C::InPositionTimeField, "301", Bounds(), kUp + "300"},
        Case{C::InputBandwidthField, "abc", Bounds(), std::nullopt},              // not checked
        Case{C::InputBandwidthField, "99999999999999999999", Bounds(), std::nullopt},
        Case{C::DriveNumberField, "0", Bounds(), kLow + "1"},
        Case{C::DriveNumberField, "247", Bounds(), std::nullopt},
        Case{C::DriveNumberField, "248", Bounds(), kUp + "247"},
        Case{C::DriveNumberField, "40000", Bounds(), kUp + "247"},             // beyond int16
        Case{C::SpeedFilterField, "-1", Bounds(), "小于允许输入的下限，请修改；\r\n    最小值为：0"},
        Case{C::SpeedFilterField, "-40000", Bounds(), "小于允许输入的下限，请修改；\r\n    最小值为：0"},
        Case{C::SpeedFilterField, "32", Bounds(), kUp + "31"},
        Case{C::HomingFilterField, "18", Bounds(), std::nullopt},
        Case{C::HomingFilterField, "19", Bounds(), kUp + "18"},
        Case{C::HomingFilterField, "18.5", Bounds(), std::nullopt},             // 18
        Case{C::HomingFilterField, "1,0", Bounds(), "    输入的数值不合规范，请修改；"}));

INSTANTIATE_TEST_SUITE_P(
    PulseFields, ValidationTable,
    ::testing::Values(
        Case{C::PulseLengthField, "3840000", k384, std::nullopt},
        Case{C::PulseLengthField, "3840001", k384, kUp + "3,840,000"},
        Case{C::PulseLengthField, "0", k384, kLow + "1"},
        Case{C::PulseLengthField, "3,840,000", k384, std::nullopt},
        Case{C::PulseLengthField, "5000000000", k384, kUp + "3,840,000"},
        Case{C::PulseLengthField, "5000000000", Bounds(1e11, "100,000,000,000"), kUp + "2,147,483,647"},
        Case{C::DeviationAlarmField, "122880000", k384, std::nullopt},
        Case{C::DeviationAlarmField, "122880001", k384, kUp + "3,840,000*32"},
        Case{C::InPositionWindowField, "0", k384, std::nullopt},
        Case{C::InPositionWindowField, "-1", k384, kLow + "0"}));

INSTANTIATE_TEST_SUITE_P(
    SpeedFields, ValidationTable,
    ::testing::Values(
        // 61,440,000 pulses, k = 60000: one unit is 0.0009765625 rpm; 64,500 units.
        Case{C::RunSpeedField, "62.98828125", k6144, kUp + "62.5"},
        Case{C::HomingSpeedField, "62.98828125", k6144, std::nullopt},
        Case{C::HomingSpeedField, "63.75", k6144, std::nullopt},               // 65280 units exactly
        Case{C::HomingSpeedField, "63.76", k6144, kUp + "63.75"},
        Case{C::RunSpeedField, "0.0009", k6144, kLow + "0.0009765625"},
        Case{C::StartSpeedField, "3", k6144, std::nullopt},                    // 3072 units
        Case{C::StartSpeedField, "3.001", k6144, kUp + "3"},
        // 3,840,000 pulses: one unit is 0.015625 rpm.
        Case{C::RunSpeedField, "150", k384, std::nullopt},                   // 9600 units
        Case{C::RunSpeedField, "150.01", k384, kUp + "150"},
        Case{C::StartSpeedField, "3.01", k384, kUp + "3"},
        // Any other resolution: every number passes.
        Case{C::RunSpeedField, "100000", Bounds(), std::nullopt},
        Case{C::RunSpeedField, "0", Bounds(), std::nullopt},
        Case{C::HomingSpeedField, "1.2.3", Bounds(), "    输入的数值不合规范，请修改；"}));

TEST(FieldValidation, displayFieldsAcceptAnything) {
  for (const Control field : {C::LiveCurrentField, C::LiveSpeedField, C::UnitsPerRevField, C::PulsesPerRevField, C::CpuTemperatureField, C::PortStatusField, C::ErrorTextField, C::RunTimeField, C::TravelField}) {
    EXPECT_EQ(ValidateField(field, "not a number", Bounds()), std::nullopt) << field;
  }
}

TEST(FieldValidation, oversizedCoefficientNeverDividesAndAcceptsSpeeds) {
  FieldBounds b = Bounds(3840000, "3,840,000");
  b.speedCoefficient = 35792;  // k leaves 32 bits
  EXPECT_EQ(ValidateField(C::RunSpeedField, "1e300", b), std::nullopt);
  b.speedCoefficient = 0;
  EXPECT_EQ(ValidateField(C::RunSpeedField, "5", b), std::nullopt);
}

TEST(FieldValidation, groupedNumbersReadOnlyWhenWellFormed) {
  EXPECT_EQ(ReadFieldNumber("3,840,000"), 3840000.0);
  EXPECT_EQ(ReadFieldNumber("51,200"), 51200.0);
  EXPECT_EQ(ReadFieldNumber("1,000.5"), 1000.5);
  EXPECT_EQ(ReadFieldNumber("12"), 12.0);
  EXPECT_FALSE(ReadFieldNumber("1,00"));
  EXPECT_FALSE(ReadFieldNumber(",100"));
  EXPECT_FALSE(ReadFieldNumber("1000,000"));
  EXPECT_FALSE(ReadFieldNumber("1,000,"));
  EXPECT_FALSE(ReadFieldNumber(""));
}

TEST(FieldValidation, speedLimitsUseExactResolution) {
  const SpeedLimits run{9600, 65280, 64000};
  EXPECT_EQ(SpeedLimitFor(run, 3840000), 9600);
  EXPECT_EQ(SpeedLimitFor(run, 32000000), 65280);
  EXPECT_EQ(SpeedLimitFor(run, 61440000), 64000);
  EXPECT_EQ(SpeedLimitFor(run, 61440000.5), 0);
  EXPECT_EQ(SpeedProduct(35791), 2147460000);
  EXPECT_EQ(SpeedProduct(35792), std::nullopt);
}

// Key filter: (field, key, connected) -> kept.
struct KeyCase {
  std::vector<Control> fields;
  char32_t key;
  bool connected;
  bool kept;
};

TEST(FieldKeyFilter, byFieldKindAndConnection) {
  const std::vector<Control> display{C::LiveCurrentField, C::LiveSpeedField, C::UnitsPerRevField, C::PulsesPerRevField, C::CpuTemperatureField, C::PortStatusField, C::ErrorTextField, C::RunTimeField, C::TravelField};
  const std::vector<Control> decimal{C::DriveCurrentField, C::CurrentReductionField, C::RunSpeedField, C::StartSpeedField, C::HomingSpeedField};
  const std::vector<Control> integer{C::ReductionDelayField, C::CommFilterField, C::PulseLengthField, C::DeviationAlarmField, C::InPositionWindowField, C::InPositionTimeField, C::InputBandwidthField, C::DriveNumberField, C::SpeedFilterField, C::HomingFilterField};
  const std::vector<KeyCase> cases{
      {display, U'5', true, false},  {display, 8, true, false},     {display, U'.', true, false},
      {decimal, U'0', true, true},   {decimal, U'9', true, true},   {decimal, U'.', true, true},
      {decimal, 8, true, true},      {decimal, U'-', true, false},  {decimal, 13, true, false},
      {decimal, 22, true, false},    {decimal, 27, true, false},    {decimal, U'e', true, false},
      {decimal, U',', true, false},  {decimal, U'５', true, false},  {decimal, U'5', false, false},
      {decimal, 8, false, false},    {integer, U'7', true, true},   {integer, 8, true, true},
      {integer, U'.', true, false},  {integer, U'+', true, false},  {integer, 22, true, false},
      {integer, U'7', false, false}, {integer, 8, false, false},
  };
  for (const KeyCase& c : cases) {
    for (const Control field : c.fields) {
      EXPECT_EQ(KeepFieldKey(field, c.key, c.connected), c.kept)
          << "field " << field << " key " << static_cast<uint32_t>(c.key) << " connected "
          << c.connected;
    }
  }
}

}  // namespace
}  // namespace dd
