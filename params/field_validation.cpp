#include "params/field_validation.h"

#include <cmath>
#include <limits>

#include "app/number_text.h"

namespace dd {
namespace {

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

// "1,234,567": groups of three after a first group of one to three digits.
bool WellGrouped(std::string_view digits) {
  const auto first = digits.find(',');
  if (first == 0 || first > 3) return false;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    const bool commaSlot = i >= first && (i - first) % 4 == 0;
    if (commaSlot ? digits[i] != ',' : !IsDigitChar(digits[i])) return false;
  }
  return (digits.size() - first) % 4 == 0;
}

std::string TwoLines(const char* first, const char* secondStart, const std::string& bound) {
  return std::string(first) + "\r\n" + secondStart + bound;
}

std::string UpperMessage(const std::string& bound) { return TwoLines(kAboveUpper, kUpperIs, bound); }

std::string LowerMessage(const FieldSpec& f, const std::string& bound) {
  return TwoLines(f.bareLowerMessage ? kBelowLowerBare : kBelowLower, kLowerIs, bound);
}

std::string CurrentText(int16_t hundredths) {
  return PlainDecimal(static_cast<double>(hundredths) / 100.0) + " A";
}

constexpr double kInt32Max = 2147483647.0;

// Bound texts of the two sides of a field, as its messages quote them.
struct BoundTexts {
  std::string upper;
  std::string lower;
};

BoundTexts TextsOf(const FieldSpec& f, const FieldBounds& b) {
  switch (f.range) {
    case FieldRange::Fixed:
      return {PlainDecimal(f.high), PlainDecimal(f.low)};
    case FieldRange::Current:
      return {CurrentText(b.maxCurrent), CurrentText(b.minCurrent)};
    case FieldRange::PulseLength:
      return {b.pulsesPerRevText, "1"};
    case FieldRange::DeviationSpan:
      return {b.pulsesPerRevText + "*32", "0"};
    case FieldRange::Speed: {
      const auto per = RpmPerSpeedUnit(b.speedCoefficient, b.pulsesPerRev);
      const int32_t limit = SpeedLimitFor(f.speed, b.pulsesPerRev);
      if (!per) return {};
      return {PlainDecimal(*per * limit), PlainDecimal(*per)};
    }
    case FieldRange::None:
      break;
  }
  return {};
}

}  // namespace

bool KeepFieldKey(Control field, char32_t key, bool connected) {
  const FieldSpec* row = FindField(field);
  if (row == nullptr) return false;
  const FieldSpec& f = *row;
  if (f.kind == FieldKind::Display || !connected) return false;
  if (IsDigit(key) || key == 8) return true;
  return f.kind == FieldKind::Decimal && key == U'.';
}

std::optional<double> ReadFieldNumber(std::string_view text) {
  if (text.find(',') == std::string_view::npos) return ParseNumber(text);
  std::size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  std::string_view t = text.substr(b, e - b);
  std::string sign;
  if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
    sign = t.front();
    t.remove_prefix(1);
  }
  const auto end = t.find_first_of(".eE");
  const std::string_view whole = t.substr(0, end);
  if (!WellGrouped(whole)) return std::nullopt;
  std::string plain = sign;
  for (char c : whole) {
    if (c != ',') plain.push_back(c);
  }
  if (end != std::string_view::npos) plain.append(t.substr(end));
  return ParseNumber(plain);
}

std::optional<int32_t> SpeedProduct(int32_t speedCoefficient) {
  const int64_t k = static_cast<int64_t>(speedCoefficient) * 60000;
  if (k > std::numeric_limits<int32_t>::max() || k < std::numeric_limits<int32_t>::min()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(k);
}

std::optional<double> RpmPerSpeedUnit(int32_t speedCoefficient, double pulsesPerRev) {
  const auto k = SpeedProduct(speedCoefficient);
  if (!k || *k <= 0 || !(pulsesPerRev > 0) || !std::isfinite(pulsesPerRev)) return std::nullopt;
  return static_cast<double>(*k) / pulsesPerRev;
}

int32_t SpeedLimitFor(const SpeedLimits& limits, double pulsesPerRev) {
  if (pulsesPerRev == 3840000.0) return limits.at3840000;
  if (pulsesPerRev == 32000000.0) return limits.at32000000;
  if (pulsesPerRev == 61440000.0) return limits.at61440000;
  return 0;
}

std::optional<AcceptedRange> FieldAcceptedRange(const FieldSpec& f, const FieldBounds& bounds) {
  switch (f.range) {
    case FieldRange::Fixed:
      return AcceptedRange{f.low, f.high};
    case FieldRange::Current:
      return AcceptedRange{static_cast<double>(bounds.minCurrent),
                           static_cast<double>(bounds.maxCurrent)};
    case FieldRange::PulseLength:
      return AcceptedRange{1, bounds.pulsesPerRev};
    case FieldRange::DeviationSpan:
      return AcceptedRange{0, bounds.pulsesPerRev * 32};
    case FieldRange::Speed: {
      const int32_t limit = SpeedLimitFor(f.speed, bounds.pulsesPerRev);
      // Without a known resolution (or a usable coefficient) any number passes.
      if (!RpmPerSpeedUnit(bounds.speedCoefficient, bounds.pulsesPerRev) || limit == 0) {
        return std::nullopt;
      }
      return AcceptedRange{1, static_cast<double>(limit)};
    }
    case FieldRange::None:
      break;
  }
  return std::nullopt;
}

std::optional<std::string> ValidateField(Control field, std::string_view text,
                                         const FieldBounds& bounds) {
  const FieldSpec* row = FindField(field);
  if (row == nullptr) return std::nullopt;
  const FieldSpec& f = *row;
  if (f.range == FieldRange::None || text.empty()) return std::nullopt;
  const auto entered = ReadFieldNumber(text);
  if (!entered) return std::string(f.bareNumberMessage ? kNotANumberBare : kNotANumber);

  const BoundTexts texts = TextsOf(f, bounds);
  // The number as the field compares it; a number its conversion cannot hold lies
  // beyond every bound on its side, so it gets that side's message.
  double value = *entered;
  bool fits = true;
  if (f.number != FieldNumber::Real) {
    value = RoundHalfEven(*entered);
    const double limit = f.number == FieldNumber::Int16 ? 32767.0 : kInt32Max;
    fits = value <= limit && value >= -limit - 1.0;
  }
  if (fits && f.range == FieldRange::Current) {
    value *= 100.0;
    fits = value <= kInt32Max && value >= -kInt32Max - 1.0;
  }
  if (!fits) {
    if (value < 0) return LowerMessage(f, texts.lower);
    // Only the pulse length's bound can exceed what its conversion holds.
    if (f.range == FieldRange::PulseLength && bounds.pulsesPerRev > kInt32Max) {
      return UpperMessage(Grouped(kInt32Max));
    }
    return UpperMessage(texts.upper);
  }

  const auto accepted = FieldAcceptedRange(f, bounds);
  if (!accepted) return std::nullopt;
  const double high = accepted->high;
  const double low = accepted->low;
  if (f.range == FieldRange::Speed) {
    value = value * bounds.pulsesPerRev / static_cast<double>(*SpeedProduct(bounds.speedCoefficient));
  }
  if (value > high) return UpperMessage(texts.upper);
  if (value < low) return LowerMessage(f, texts.lower);
  return std::nullopt;
}

}  // namespace dd
