// Everything that makes one simulated drive: identification constants, stored
// parameters, the axis with its three sensors, the line it expects and its fault odds.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace dd {

enum class SimSensorId { NearLimit, FarLimit, Origin };

// A sensor on the axis. Positions are physical position units (drive position at
// power-up is 0). The near-motor limit (Dir input) is active at or above its
// position, the far-motor limit (Step input) at or below it, the origin (Free or
// Zero input) over [position, position + width].
struct SimSensor {
  double position = 0;
  bool wired = true;
  // The switch's own contact type. The drive's SensorConfigWord says which level it
  // takes as active; when both agree the input is active exactly while triggered. An
  // unwired input never conducts: never active when configured normally open,
  // always active when configured normally closed.
  bool normallyClosed = false;
};

struct SimAxis {
  SimSensor nearLimit{8000};   // toward the motor: positive direction
  SimSensor farLimit{-8000};   // away from the motor: negative direction
  SimSensor origin{2000};
  double originWidth = 400;
  double startPosition = 0;
  double maxAccel = 80000;           // position units / s^2
  double deviationPerAccel = 0.0004; // deviation (units) per unit/s^2 of acceleration
};

enum class SimFault : int {
  Drop = 0,    // request executed, reply lost
  BadCrc,      // reply with its CRC corrupted
  Short,       // reply cut to half its length
  Late,        // reply sent after the master's time-out (lateDelayMs)
  Split,       // reply sent in two parts with a gap of splitGapMs
  Exception,   // exception reply (code 4) instead of the answer; request not executed
  Silent,      // request not even heard: not executed, no reply
  Vanish,      // the pty closes as an unplugged adapter; Return() brings it back
};
inline constexpr int kSimFaultKinds = 8;

// Another drive on the same line: built from the same config, with its own address and
// line speed, its own state, answering only its own frames.
struct SimBusDrive {
  uint8_t address = 1;
  uint32_t lineBaud = 0;  // 0: the config's lineBaud
};

struct SimConfig {
  // Bus.
  uint8_t slaveAddress = 1;
  uint32_t lineBaud = 115200;  // what the drive listens at; also register 0x0062
  std::vector<SimBusDrive> moreDrives;
  bool wireRealism = true;     // wire time, turnaround, silence on baud/parity mismatch
  double turnaroundMs = 1.0;
  double lateDelayMs = 60;     // Late fault: well after the longest read time-out (28 ms)
  double splitGapMs = 10;      // Split fault: longer than the 2 ms inter-byte time-out
  // A USB adapter's latency timer on the master's side: received bytes reach the master
  // only at the next tick of a free-running timer of this period (0 = at once). FTDI
  // adapters default to 16 ms.
  double deliveryLatencyMs = 0;

  // Identification and scaling (read only for the master).
  uint32_t driveModel = 10500000;  // second decimal digit = DriveVariant (1: origin on Free)
  uint16_t speedCoefficient = 1;
  uint16_t motorTeeth = 50;        // 0 stands for 50
  uint32_t pulsesPerTooth = 1024;
  uint16_t maxCurrent = 600;       // 0.01 A
  uint16_t minCurrent = 50;
  bool sensorLevelsConfigurable = true;
  uint16_t cpuTemperature = 38;
  uint32_t deviationAlarm = 4000;
  uint32_t inPositionWindow = 10;
  uint16_t inPositionTime = 5;

  // Parameters (written by the master, kept by SaveParameters).
  uint16_t driveConfig = 0x0008;   // "下限+上限": the drive stops at limits
  uint16_t driveCurrent = 300;
  uint16_t currentReduction = 50;  // percent of the drive current at standstill
  uint16_t reductionDelay = 300;   // ms at standstill before the reduction
  uint32_t pulseLength = 128;      // encoder pulses per position unit
  uint16_t runSpeed = 512;         // speed units (600 rpm with the defaults)
  uint16_t startSpeed = 50;
  uint16_t commFilter = 3;
  uint16_t speedFilter = 4;
  uint16_t homingSpeed = 256;      // 300 rpm, below the run speed as a save requires; 0: searches at the run speed
  uint16_t homingFilter = 6;
  uint16_t driveNumber = 0;        // 0: same as slaveAddress
  uint64_t sensorConfig = 0;
  uint32_t inputBandwidth = 200000;

  // Live counters at start.
  uint16_t errorCode = 0;
  uint32_t runTimeSeconds = 0;
  uint64_t travelPulses = 0;

  SimAxis axis;

  // Faults by chance: probability per reply, per kind; drawn from `seed`.
  std::array<double, kSimFaultKinds> faultProbability{};
  uint64_t seed = 1;
};

}  // namespace dd
