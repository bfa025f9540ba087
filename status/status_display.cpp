#include "status/status_display.h"

#include <array>
#include <string_view>

#include "app/number_text.h"
#include "app/session.h"

namespace dd {

std::string RunTimeText(double seconds) {
  const auto n = static_cast<int64_t>(RoundHalfEven(seconds));
  const int64_t days = n / 86400;
  const int64_t rest = n % 86400;
  std::string out;
  if (days != 0) out = std::to_string(days) + "天";
  out += TwoDigits(rest / 3600) + ":" + TwoDigits(rest % 3600 / 60) + ":" + TwoDigits(n % 60);
  return out;
}

PortInputs DecodePortInputs(int32_t word) {
  PortInputs in;
  in.step = (word & 0x0001) != 0;
  in.dir = (word & 0x0002) != 0;
  in.free = (word & 0x0004) != 0;
  in.zero = (word & 0x0008) != 0;
  return in;
}

std::string PortStatusText(int32_t word) {
  struct Piece {
    int bit;
    std::string_view name;
  };
  static constexpr std::array<Piece, 9> kPieces{{{0, "Step"}, {1, "Dir"}, {2, "Free"},
                                                 {3, "Zero"}, {8, "Ready"}, {9, "INP"},
                                                 {10, "BRK"}, {12, "PSL"}, {13, "PSH"}}};
  // Character 16 - i of the binary text is bit i.
  const std::string bits = ToBinaryString(word & 0xFFFF, 2);
  std::string out;
  for (const auto& piece : kPieces) {
    out += piece.name;
    out += '=';
    out += bits[static_cast<std::size_t>(15 - piece.bit)];
    out += "  ";
  }
  return out;
}

std::string CurrentText(int32_t hundredths) { return FixedDecimals(hundredths / 100.0, 2); }

double SpeedRpm(double speedValue, int32_t speedCoefficient, double pulsesPerRev) {
  const double k = static_cast<double>(static_cast<int64_t>(speedCoefficient) * 60000);
  return speedValue * k / pulsesPerRev;
}

std::string SpeedRpmText(double speedValue, int32_t speedCoefficient, double pulsesPerRev) {
  return FixedDecimals(SpeedRpm(speedValue, speedCoefficient, pulsesPerRev), 3);
}

std::string TravelText(double pulses, double pulsesPerRev) {
  return Grouped(pulses / pulsesPerRev);
}

std::string PositionText(double units) { return PlainDecimal(units); }

}  // namespace dd
