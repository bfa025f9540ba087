#include "link/drive_commands.h"

#include <algorithm>
#include <array>

#include "link/drive_registers.h"
#include "link/value_codec.h"

namespace dd {
namespace {

// One read transaction of `data.size() / 2` registers; on success copies the data bytes.
CommandResult ReadRegisters(SerialHandle port, uint16_t address, uint8_t function, uint16_t reg,
                            std::span<uint8_t> data) {
  const auto count = static_cast<uint16_t>(data.size() / 2);
  const auto request = BuildReadRequest(static_cast<uint8_t>(address), function, reg, count);
  std::array<uint8_t, ReadReplyLength(4)> reply{};
  const CommandResult result =
      Transact(port, request, std::span<uint8_t>(reply).first(ReadReplyLength(count)));
  if (result == kOk) std::copy_n(reply.begin() + 3, data.size(), data.begin());
  return result;
}

// A failed read leaves the output as it was, a corrupted one sets it to 0.
template <std::size_t Registers, typename Out, typename Decode>
CommandResult ReadValue(SerialHandle port, uint16_t address, uint8_t function, uint16_t reg,
                        Out& value, Decode decode) {
  std::array<uint8_t, 2 * Registers> data{};
  const CommandResult result = ReadRegisters(port, address, function, reg, data);
  if (result == kOk) {
    value = static_cast<Out>(decode(std::span<const uint8_t, 2 * Registers>(data)));
  } else if (result == kBadCrc) {
    value = 0;
  }
  return result;
}

CommandResult ReadInputU16(SerialHandle port, uint16_t address, uint16_t reg, int32_t& value) {
  return ReadValue<1>(port, address, kReadInput, reg, value, DecodeU16);
}

CommandResult ReadHoldingU32(SerialHandle port, uint16_t address, uint16_t reg, double& value) {
  return ReadValue<2>(port, address, kReadHolding, reg, value, DecodeU32);
}

CommandResult ReadHoldingS32(SerialHandle port, uint16_t address, uint16_t reg, double& value) {
  return ReadValue<2>(port, address, kReadHolding, reg, value, DecodeS32);
}

CommandResult WriteOne(SerialHandle port, uint16_t address, uint16_t reg,
                       std::span<const uint8_t, 2> bytes) {
  const auto request = BuildWriteOneRequest(static_cast<uint8_t>(address), reg, bytes);
  std::array<uint8_t, kWriteReplyLength> reply{};
  return Transact(port, request, reply);
}

CommandResult WriteU16(SerialHandle port, uint16_t address, uint16_t reg, int32_t value,
                       bool lowFirst = false) {
  if (port == 0) return kNoPort;
  const auto word = WholeToU16(value);
  if (!word) return kValueOutOfRange;
  std::array<uint8_t, 2> bytes{};
  if (lowFirst) {
    EncodeU16LowFirst(*word, bytes);
  } else {
    EncodeU16(*word, bytes);
  }
  return WriteOne(port, address, reg, bytes);
}

CommandResult WriteMultiple(SerialHandle port, uint16_t address, uint16_t reg,
                            std::span<const uint8_t> data) {
  const auto request = BuildWriteMultipleRequest(static_cast<uint8_t>(address), reg, data);
  std::array<uint8_t, kWriteReplyLength> reply{};
  return Transact(port, request, reply);
}

CommandResult WriteU32(SerialHandle port, uint16_t address, uint16_t reg, double value) {
  if (port == 0) return kNoPort;
  const auto whole = WholeToU32(value);
  if (!whole) return kValueOutOfRange;
  std::array<uint8_t, 4> data{};
  EncodeU32(*whole, data);
  return WriteMultiple(port, address, reg, data);
}

CommandResult Control(SerialHandle port, uint16_t address, uint16_t command) {
  std::array<uint8_t, 2> bytes{};
  EncodeU16(command, bytes);
  return WriteOne(port, address, reg::kControlWord, bytes);
}

}  // namespace

// --- Configuration registers ---

CommandResult ReadDriveModel(SerialHandle port, uint16_t address, double& value) {
  return ReadValue<4>(port, address, kReadHolding, reg::kDriveModel, value, DecodeFirst32);
}
CommandResult ReadDriveConfig(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kDriveConfig, value);
}
CommandResult WriteDriveConfig(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kDriveConfig, value, /*lowFirst=*/true);
}
CommandResult ReadMaxCurrent(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kMaxCurrent, value);
}
CommandResult ReadMinCurrent(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kMinCurrent, value);
}
CommandResult ReadDriveCurrent(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kDriveCurrent, value);
}
CommandResult WriteDriveCurrent(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kDriveCurrent, value);
}
CommandResult ReadCurrentReduction(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kCurrentReduction, value);
}
CommandResult WriteCurrentReduction(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kCurrentReduction, value);
}
CommandResult ReadReductionDelay(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kReductionDelay, value);
}
CommandResult WriteReductionDelay(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kReductionDelay, value);
}
CommandResult ReadPulsesPerTooth(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kPulsesPerTooth, value);
}
CommandResult ReadPulseLength(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kPulseLength, value);
}
CommandResult WritePulseLength(SerialHandle port, uint16_t address, double value) {
  return WriteU32(port, address, reg::kPulseLength, value);
}
CommandResult ReadDeviationAlarm(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kDeviationAlarm, value);
}
CommandResult ReadInPositionWindow(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kInPositionWindow, value);
}
CommandResult ReadInPositionTime(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kInPositionTime, value);
}
CommandResult ReadRunSpeed(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kRunSpeed, value);
}
CommandResult WriteRunSpeed(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kRunSpeed, value);
}
CommandResult ReadStartSpeed(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kStartSpeed, value);
}
CommandResult WriteStartSpeed(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kStartSpeed, value);
}
CommandResult ReadCommFilter(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kCommFilter, value);
}
CommandResult WriteCommFilter(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kCommFilter, value);
}
CommandResult ReadSpeedFactor(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kSpeedFactor, value);
}
CommandResult ReadSpeedFilter(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kSpeedFilter, value);
}
CommandResult WriteSpeedFilter(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kSpeedFilter, value);
}
CommandResult ReadHomingSpeed(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kHomingSpeed, value);
}
CommandResult WriteHomingSpeed(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kHomingSpeed, value);
}
CommandResult ReadHomingFilter(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kHomingFilter, value);
}
CommandResult WriteHomingFilter(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kHomingFilter, value);
}
CommandResult ReadMotorTeeth(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadValue<4>(port, address, kReadHolding, reg::kMotorTeeth, value, DecodeFirst16);
}
CommandResult ReadDriveNumber(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kDriveNumber, value);
}
CommandResult WriteDriveNumber(SerialHandle port, uint16_t address, int32_t value) {
  return WriteU16(port, address, reg::kDriveNumber, value);
}
CommandResult ReadBusBaudRate(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kBusBaudRate, value);
}
CommandResult ReadSensorConfig(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadValue<4>(port, address, kReadHolding, reg::kSensorConfig, value, DecodeLast32);
}
CommandResult WriteSensorConfig(SerialHandle port, uint16_t address, double value) {
  if (port == 0) return kNoPort;
  const auto whole = WholeToU32(value);
  if (!whole) return kValueOutOfRange;
  std::array<uint8_t, 8> data{};
  EncodeU64Low32(*whole, data);
  return WriteMultiple(port, address, reg::kSensorConfig, data);
}
CommandResult ReadInputBandwidth(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kInputBandwidth, value);
}
CommandResult WriteInputBandwidth(SerialHandle port, uint16_t address, double value) {
  return WriteU32(port, address, reg::kInputBandwidth, value);
}

// --- Control word commands ---

CommandResult ClearCommand(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kClear);
}
CommandResult SaveParameters(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kSave);
}
CommandResult ReleaseMotor(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kRelease);
}
CommandResult StopMotion(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kStop);
}
CommandResult JogAwayFromMotor(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kJogAway);
}
CommandResult JogTowardMotor(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kJogToward);
}
CommandResult SetZeroPosition(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kSetZero);
}
CommandResult ReverseOriginSearch(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kReverseOriginSearch);
}
CommandResult StartOriginSearch(SerialHandle port, uint16_t address) {
  return Control(port, address, ctl::kStartOriginSearch);
}

// --- Control, target and live values ---

CommandResult ReadControlWord(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kControlWord, value);
}
CommandResult ReadErrorCode(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kErrorCode, value);
}
CommandResult ReadActualCurrent(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kActualCurrent, value);
}
CommandResult ReadActualPosition(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingS32(port, address, reg::kActualPosition, value);
}
// Stale bytes are cleared before every request (see Transact), so this read needs no
// purge of its own.
CommandResult ReadTargetPosition(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingS32(port, address, reg::kTargetPosition, value);
}
CommandResult WriteTargetPosition(SerialHandle port, uint16_t address, double value) {
  if (port == 0) return kNoPort;
  const auto whole = WholeToS32(value);
  if (!whole) return kValueOutOfRange;
  std::array<uint8_t, 4> data{};
  EncodeS32(*whole, data);
  return WriteMultiple(port, address, reg::kTargetPosition, data);
}
CommandResult ReadPositionDeviation(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingS32(port, address, reg::kPositionDeviation, value);
}
CommandResult ReadActualSpeed(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingS32(port, address, reg::kActualSpeed, value);
}
CommandResult ReadPortStatus(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kPortStatus, value);
}
CommandResult ReadCpuTemperature(SerialHandle port, uint16_t address, int32_t& value) {
  return ReadInputU16(port, address, reg::kCpuTemperature, value);
}
CommandResult ReadRunTime(SerialHandle port, uint16_t address, double& value) {
  return ReadHoldingU32(port, address, reg::kRunTime, value);
}
CommandResult ReadTravelTotal(SerialHandle port, uint16_t address, double& value) {
  return ReadValue<4>(port, address, kReadHolding, reg::kTravelTotal, value, DecodeU64);
}

}  // namespace dd
