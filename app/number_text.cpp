#include "app/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace dd {

std::optional<double> ParseNumber(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  std::string_view t = text.substr(b, e - b);
  if (t.empty()) return std::nullopt;
  std::size_t i = 0;
  bool negative = false;
  if (t[i] == '+' || t[i] == '-') {
    negative = t[i] == '-';
    ++i;
  }
  const std::size_t bodyStart = i;
  int digits = 0, points = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.') {
      if (++points > 1) return std::nullopt;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < t.size()) {
    if (t[i] != 'e' && t[i] != 'E') return std::nullopt;
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const std::size_t expStart = i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    if (i == expStart || i != t.size()) return std::nullopt;
  }
  double value = 0;
  std::string body(t.substr(bodyStart));
  if (body.front() == '.') body.insert(body.begin(), '0');
  auto [ptr, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec == std::errc::result_out_of_range) return std::nullopt;
  if (ec != std::errc() || ptr != body.data() + body.size()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  auto v = ParseNumber(text);
  if (!v) return std::nullopt;
  const double r = RoundHalfEven(*v);
  if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(r);
}

std::optional<int16_t> ParseInt16(std::string_view text) {
  auto v = ParseNumber(text);
  if (!v) return std::nullopt;
  const double r = RoundHalfEven(*v);
  if (r < -32768.0 || r > 32767.0) return std::nullopt;
  return static_cast<int16_t>(r);
}

namespace {

// The C library's printf follows LC_NUMERIC, which the window system sets from the
// environment ("1,50" under de_DE); to_chars never does.
std::string Chars(double value, std::chars_format format, int precision) {
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, format, precision);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

}  // namespace

std::string PlainDecimal(double value) {
  if (value == 0.0) return "0";
  std::string s = Chars(value, std::chars_format::general, 15);
  // Like "%.15G": no trailing zeros in the fraction; only the exponent form needs care.
  if (const auto pos = s.find('e'); pos != std::string::npos) {
    // VB-like form: mantissa, "E", sign, at least two digits.
    std::string mant = s.substr(0, pos), exp = s.substr(pos + 1);
    std::string sign = exp.substr(0, 1);
    exp = exp.substr(1);
    while (exp.size() > 2 && exp.front() == '0') exp.erase(exp.begin());
    s = mant + "E" + sign + exp;
  }
  return s;
}

std::string Grouped(double value) {
  const double r = RoundHalfEven(value);
  const std::string digits = Chars(std::fabs(r), std::chars_format::fixed, 0);
  std::string out;
  const std::size_t n = digits.size();
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(digits[i]);
    const std::size_t left = n - 1 - i;
    if (left > 0 && left % 3 == 0) out.push_back(',');
  }
  return (r < 0 ? "-" : "") + out;
}

std::string FixedDecimals(double value, int decimals) {
  std::string s = Chars(value, std::chars_format::fixed, decimals);
  // No "-0.00" for a value that rounds to zero.
  if (!s.empty() && s.front() == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(s.begin());
  return s;
}

std::string TwoDigits(int64_t value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld", static_cast<long long>(value));
  return buf;
}

}  // namespace dd
