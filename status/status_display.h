// Text forms of the live values, as the status fields show them.
#pragma once

#include <cstdint>
#include <string>

namespace dd {

// Seconds as "[d天]hh:mm:ss", rounded to whole seconds first: 5 -> "00:00:05",
// 93784 -> "1天02:03:04".
std::string RunTimeText(double seconds);

// The inputs of the port-status word that steer limits and homing.
struct PortInputs {
  bool step = false;  // bit 0: far-motor-end limit
  bool dir = false;   // bit 1: near-motor-end limit
  bool free = false;  // bit 2: origin on drive variant 1
  bool zero = false;  // bit 3: origin on the other variants
};
PortInputs DecodePortInputs(int32_t word);

// "Step=b  Dir=b  Free=b  Zero=b  Ready=b  INP=b  BRK=b  PSL=b  PSH=b  " for the low
// 16 bits of `word`.
std::string PortStatusText(int32_t word);

// Motor current in 0.01 A as "0.00" amperes.
std::string CurrentText(int32_t hundredths);

// Speed register value in rpm: value * (coefficient * 60000) / pulsesPerRev.
// `pulsesPerRev` must be positive.
double SpeedRpm(double speedValue, int32_t speedCoefficient, double pulsesPerRev);
// The same as "0.000".
std::string SpeedRpmText(double speedValue, int32_t speedCoefficient, double pulsesPerRev);

// Travel in pulses as whole revolutions, "#,0". `pulsesPerRev` must be positive.
std::string TravelText(double pulses, double pulsesPerRev);

// Positions and deviation: plain decimal.
std::string PositionText(double units);

}  // namespace dd
