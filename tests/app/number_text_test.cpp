#include <gtest/gtest.h>

#include "app/number_text.h"

namespace dd {
namespace {

TEST(NumberText, parseNumber_acceptsPlainNumbersOnly) {
  const struct { const char* text; bool ok; double value; } cases[] = {
      {"12", true, 12}, {"1.5", true, 1.5}, {" 7 ", true, 7}, {".5", true, 0.5}, {"5.", true, 5},
      {"-3", true, -3}, {"+3", true, 3}, {"1e3", true, 1000}, {"1.2.3", false, 0}, {"", false, 0},
      {".", false, 0}, {"abc", false, 0}, {"1,000", false, 0}, {"12a", false, 0}, {"1e", false, 0},
      {"1e999", false, 0}, {"-", false, 0}};
  for (const auto& c : cases) {
    auto v = ParseNumber(c.text);
    EXPECT_EQ(v.has_value(), c.ok) << c.text;
    if (v && c.ok) {
      EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
    }
  }
}

TEST(NumberText, parseIntegers_rejectValuesOutsideTheirType) {
  EXPECT_EQ(ParseInt32("2147483647"), 2147483647);
  EXPECT_FALSE(ParseInt32("2147483648").has_value());
  EXPECT_EQ(ParseInt32("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseInt32("2.5"), 2);
  EXPECT_EQ(ParseInt16("32767"), 32767);
  EXPECT_FALSE(ParseInt16("32767.5").has_value());  // rounds to 32768
  EXPECT_FALSE(ParseInt16("x").has_value());
}

TEST(NumberText, displayForms_matchTheWindowsPatterns) {
  EXPECT_EQ(PlainDecimal(51200), "51200");
  EXPECT_EQ(PlainDecimal(1171.875), "1171.875");
  EXPECT_EQ(PlainDecimal(51200.0 / 3.0), "17066.6666666667");
  EXPECT_EQ(PlainDecimal(-2), "-2");
  EXPECT_EQ(PlainDecimal(0.0), "0");
  EXPECT_EQ(PlainDecimal(-0.0), "0");
  EXPECT_EQ(PlainDecimal(4294967296.0), "4294967296");
  EXPECT_EQ(Grouped(51200), "51,200");
  EXPECT_EQ(Grouped(3840000), "3,840,000");
  EXPECT_EQ(Grouped(999), "999");
  EXPECT_EQ(Grouped(-1234567), "-1,234,567");
  EXPECT_EQ(Grouped(2.5), "2");
  EXPECT_EQ(FixedDecimals(1.5, 2), "1.50");
  EXPECT_EQ(FixedDecimals(0, 3), "0.000");
  EXPECT_EQ(FixedDecimals(-0.0001, 3), "0.000");
  EXPECT_EQ(FixedDecimals(-12.5, 3), "-12.500");
  EXPECT_EQ(TwoDigits(5), "05");
  EXPECT_EQ(TwoDigits(23), "23");
}

}  // namespace
}  // namespace dd
