// The drive behind the bus: register storage, control-word semantics, sensors and a
// motion profile. Not thread-safe; SimDrive serialises every call.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/sim_config.h"

namespace dd {

// Modbus exception codes the drive answers with.
inline constexpr uint8_t kExIllegalFunction = 1;
inline constexpr uint8_t kExIllegalAddress = 2;
inline constexpr uint8_t kExIllegalValue = 3;
inline constexpr uint8_t kExDeviceFailure = 4;

class DriveModel {
 public:
  explicit DriveModel(const SimConfig& config);

  // Register access as functions 3/4, 6 and 16 see it. Reads fill `words`; all
  // return 0 or the exception code.
  uint8_t Read(uint16_t address, uint16_t count, std::vector<uint16_t>& words) const;
  uint8_t WriteSingle(uint16_t address, uint16_t value);
  uint8_t WriteMultiple(uint16_t address, const std::vector<uint16_t>& words);
  // Back door for tests: any known register or block, writable or not.
  bool Set(uint16_t address, uint64_t value, uint16_t count);

  // Advances the motion by `seconds` (called in steps of about 1 ms).
  void Advance(double seconds);
  void PowerCycle();

  uint16_t ControlWord() const;
  uint16_t PortStatus() const;
  uint16_t ErrorCode() const { return errorCode_; }
  void SetErrorCode(uint16_t code) { errorCode_ = code; }
  uint8_t SlaveAddress() const { return slaveAddress_; }
  uint64_t SaveCount() const { return saveCount_; }

  // Axis, in position units at the present pulse length.
  double TruePosition() const;
  double DrivePosition() const;
  double TargetPosition() const;
  double Speed() const;
  int32_t SpeedRegister() const;
  bool Enabled() const { return mode_ != Mode::Released; }
  bool Moving() const { return velocity_ != 0; }
  void SetTruePosition(double position);
  SimSensor& Sensor(SimSensorId id);
  const SimSensor& Sensor(SimSensorId id) const;
  void SetOriginWidth(double width) { axis_.originWidth = width; }
  void ForceInput(SimSensorId id, std::optional<bool> active);
  bool Triggered(SimSensorId id) const;
  bool InputActive(SimSensorId id) const;
  SimAxis Axis() const;
  double UnitsPerRevolution() const;
  double SpeedUnitsToPulsesPerSecond(double speedUnits) const;
  double PulseLength() const;

 private:
  enum class Mode { Released, Follow, Hold, JogAway, JogToward, SearchToward, SearchAway };

  struct Parameters {
    uint16_t driveConfig, driveCurrent, currentReduction, reductionDelay;
    uint32_t pulseLength;
    uint16_t runSpeed, startSpeed, commFilter, speedFilter, homingSpeed, homingFilter,
        driveNumber;
    uint64_t sensorConfig;
    uint32_t inputBandwidth;
  };

  void Command(uint16_t value);
  void EndMotionAtStopPoint();
  double StopPoint() const;
  void ProfileTo(double goal, double vmax, double dt);
  void RampTo(double velocity, double dt);
  bool LimitMode() const;
  bool BlockedToward(int direction) const;
  bool OriginNormallyClosed() const;
  bool LimitsNormallyClosed() const;
  double ActualPulses() const { return command_ - deviation_; }
  int DriveVariant() const;
  std::optional<uint16_t> Single(uint16_t address) const;
  std::optional<std::vector<uint16_t>> Block(uint16_t address) const;
  uint16_t ActualCurrent() const;
  void PowerUp();

  SimConfig config_;
  SimAxis axis_;  // positions converted to pulses at construction
  Parameters params_{};
  Parameters saved_{};
  uint64_t saveCount_ = 0;
  uint8_t slaveAddress_ = 1;
  uint16_t errorCode_ = 0;
  uint16_t controlWord_ = 0;
  Mode mode_ = Mode::Follow;
  std::optional<bool> forced_[3];

  // Motion, in encoder pulses (physical: 0 is where the axis stood at start).
  double command_ = 0;    // profile position
  double velocity_ = 0;   // pulses / s
  double accel_ = 0;      // of the last step
  double deviation_ = 0;  // command minus actual
  double target_ = 0;     // target register, physical
  double hold_ = 0;       // stop point of 0x0008
  std::optional<double> originEdge_;  // where an origin search met the sensor
  double zero_ = 0;       // physical position of counter zero
  double standstillMs_ = 0;
  double runSeconds_ = 0;
  double travelPulses_ = 0;
};

}  // namespace dd
