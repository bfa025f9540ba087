// Key filter and leave-the-field check of the parameter grid. Pure functions: the
// caller passes the connection state and the bounds of the last connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "params/field_table.h"

namespace dd {

// Values of the last connection that the checks compare against.
struct FieldBounds {
  int16_t maxCurrent = 0;  // hundredths of an ampere
  int16_t minCurrent = 0;
  int32_t speedCoefficient = 0;
  double pulsesPerRev = 0;
  std::string pulsesPerRevText;  // PulsesPerRevField as displayed, e.g. "3,840,000"
};

// True when `key` may reach the grid field `field`. Display fields take nothing; while
// not connected no field takes anything.
bool KeepFieldKey(Control field, char32_t key, bool connected);

// Reads a field's text as a number. Besides what ParseNumber takes, the thousands
// separators of the "#,0" form are accepted when correctly placed, because the grid
// shows several saved values that way (a reduction delay 1,000, a pulse length 3,840).
std::optional<double> ReadFieldNumber(std::string_view text);

// k = SpeedCoefficient x 60000 as a 32-bit product; nullopt when it does not fit.
std::optional<int32_t> SpeedProduct(int32_t speedCoefficient);
// rpm of one speed-register unit, k / PulsesPerRev; nullopt when k does not fit 32
// bits or either factor is not positive (nothing can be converted then).
std::optional<double> RpmPerSpeedUnit(int32_t speedCoefficient, double pulsesPerRev);
// Upper bound in register units for this PulsesPerRev (exact comparison), 0 if none.
int32_t SpeedLimitFor(const SpeedLimits& limits, double pulsesPerRev);

// What a field accepts, in the units it compares: hundredths of an ampere for the
// current, speed-register units for the speeds, the plain number otherwise (for every
// saved field that is its register value). nullopt when any number passes.
struct AcceptedRange {
  double low = 0;
  double high = 0;
};
std::optional<AcceptedRange> FieldAcceptedRange(const FieldSpec& field, const FieldBounds& bounds);

// Checks the text of the grid field `field` on leaving it. nullopt: accepted; otherwise the
// message text to show (title "不能输入", error icon). A number too large (or too
// negative) for the field's conversion is reported as beyond the bound on that side.
std::optional<std::string> ValidateField(Control field, std::string_view text,
                                         const FieldBounds& bounds);

// Message pieces, exact.
inline constexpr const char* kInputTitle = "不能输入";
inline constexpr const char* kNotANumber = "    输入的数值不合规范，请修改；";
inline constexpr const char* kNotANumberBare = "输入的数值不合规范，请修改；";
inline constexpr const char* kAboveUpper = "    大于允许输入的上限，请修改；";
inline constexpr const char* kBelowLower = "    小于允许输入的下限，请修改；";
inline constexpr const char* kBelowLowerBare = "小于允许输入的下限，请修改；";
inline constexpr const char* kUpperIs = "    最大值为：";
inline constexpr const char* kLowerIs = "    最小值为：";

}  // namespace dd
