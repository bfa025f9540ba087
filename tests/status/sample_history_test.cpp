// The curves' history: bounded, readers that fall behind lose only what the ring
// dropped, decimation keeps spikes within a bounded number of points, and the CSV has
// '.' decimals whatever the locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale>

#include "status/curve_decimation.h"
#include "status/sample_history.h"

namespace dd::test {
namespace {

Sample At(double time, double value) {
  Sample s;
  s.time = time;
  s.values.fill(value);
  return s;
}

TEST(SampleHistory, boundedRing_readersSeeTheNewestInOrder) {
  SampleHistory history(4);
  uint64_t next = 0;
  for (int i = 0; i < 3; ++i) history.Add(At(i, i));
  EXPECT_EQ(history.Since(next).size(), 3u);
  for (int i = 3; i < 10; ++i) history.Add(At(i, i));
  EXPECT_EQ(history.Size(), 4u);
  // The reader was at 3; 3..5 fell out of the ring, so it gets 6..9.
  const auto late = history.Since(next);
  ASSERT_EQ(late.size(), 4u);
  EXPECT_EQ(late.front().time, 6);
  EXPECT_EQ(late.back().time, 9);
  EXPECT_EQ(next, 10u);
  EXPECT_TRUE(history.Since(next).empty());
  EXPECT_EQ(history.Between(6.5, 8).size(), 2u);
}

TEST(CurveDecimator, spikeKeptAndPointsBoundedByColumns) {
  CurveDecimator decimator;
  decimator.Reset(0.1);  // 100 columns over 10 s
  std::vector<Sample> samples;
  for (int i = 0; i < 10000; ++i) samples.push_back(At(i * 0.001, i == 4321 ? 500 : 1));
  decimator.Append(samples);
  std::vector<CurvePoint> points;
  decimator.Points(Quantity::SpeedRpm, points);
  EXPECT_LE(points.size(), 200u);
  EXPECT_TRUE(std::any_of(points.begin(), points.end(),
                          [](const CurvePoint& p) { return p.value == 500 && p.time == 4.321; }));
  EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                             [](const CurvePoint& a, const CurvePoint& b) { return a.time < b.time; }));
  decimator.DropBefore(5);
  EXPECT_EQ(decimator.Range(Quantity::SpeedRpm).high, 1);
  EXPECT_LE(decimator.Columns(), 51u);
  // Failed reads over a column, and 2 s without any sample: a gap each, not a line across.
  samples.clear();
  for (int i = 0; i < 100; ++i) samples.push_back(At(10 + i * 0.01, (i / 25) % 2 == 1 ? kNoValue : 1));
  samples.push_back(At(13, 1));
  decimator.Append(samples);
  decimator.Points(Quantity::SpeedRpm, points);
  EXPECT_EQ(std::count_if(points.begin(), points.end(), [](const CurvePoint& p) { return std::isnan(p.value); }), 2);
}

TEST(SamplesCsv, headerColumnsAndPointUnderACommaLocale) {
  // A locale with ',' decimals, for the C library and for C++ streams alike.
  const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (german == nullptr) GTEST_SKIP() << "locale de_DE.UTF-8 not installed (scripts/setup.sh adds it)";
  std::locale::global(std::locale("de_DE.UTF-8"));
  Sample a;
  a.time = 1.5;
  a.values = {-1234, 2000, -7, 149.9999, 1.5};
  Sample b = a;
  b.time = 2.25;
  b[Quantity::Deviation] = kNoValue;  // a failed read
  ::setenv("TZ", "CST-8", 1);  // the moment in China Standard Time, with its offset
  ::tzset();
  using namespace std::chrono;
  const std::string csv = SamplesCsv({a, b}, sys_days{2026y / 12 / 7} + 4h);
  ::unsetenv("TZ");
  ::tzset();
  std::locale::global(std::locale::classic());
  std::setlocale(LC_ALL, "C");

  EXPECT_EQ(csv, "\xEF\xBB\xBF时刻,时间(s),实时位置,目标位置,位置偏差,实时速度(rpm),实时电流(A)\r\n"
                 "2026-12-07T12:00:01.500+08:00,1.500,-1234,2000,-7,150.000,1.50\r\n"
                 "2026-12-07T12:00:02.250+08:00,2.250,-1234,2000,,150.000,1.50\r\n");
}

}  // namespace
}  // namespace dd::test
