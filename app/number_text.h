// Number parsing, rounding and the display forms the window uses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/value_codec.h"  // RoundHalfEven

namespace dd {

// Reads an operator's number: optional blanks, optional sign, digits with at most one
// decimal point, optional exponent. Anything else (two points, letters, grouping) fails.
std::optional<double> ParseNumber(std::string_view text);
// Text as a number, rounded half to even, if it fits the integer type.
std::optional<int32_t> ParseInt32(std::string_view text);
std::optional<int16_t> ParseInt16(std::string_view text);

// Shortest decimal text with up to 15 significant digits, no grouping, no trailing
// zeros: 51200, 1171.875, 17066.6666666667, -2.
std::string PlainDecimal(double value);
// "#,0": rounded to a whole number, thousands separated by ",".
std::string Grouped(double value);
// Fixed decimals: "0.00" (2), "0.000" (3). Halves to even on the exact binary value.
std::string FixedDecimals(double value, int decimals);
// "00": at least two digits.
std::string TwoDigits(int64_t value);

}  // namespace dd
