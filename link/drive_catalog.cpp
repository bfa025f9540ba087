#include "link/drive_catalog.h"

#include <algorithm>
#include <array>

#include "link/drive_registers.h"
#include "link/modbus_rtu.h"

namespace dd {
namespace {

using E = ValueEncoding;

constexpr DriveOperation Read(std::string_view name, CommandResult (*read)(SerialHandle, uint16_t, int32_t&),
                              uint8_t function, uint16_t reg, uint16_t count, E encoding,
                              double scale = 1, std::string_view unit = {}) {
  DriveOperation op{{name, function, reg, count, encoding, scale, unit, -1}, OperationKind::ReadInt};
  op.readInt = read;
  return op;
}
constexpr DriveOperation Read(std::string_view name, CommandResult (*read)(SerialHandle, uint16_t, double&),
                              uint8_t function, uint16_t reg, uint16_t count, E encoding,
                              double scale = 1, std::string_view unit = {}) {
  DriveOperation op{{name, function, reg, count, encoding, scale, unit, -1}, OperationKind::ReadDouble};
  op.readDouble = read;
  return op;
}
constexpr OperationShape WriteShape(std::string_view name, uint16_t reg, uint16_t count, E encoding,
                                    double scale, std::string_view unit) {
  return {name, count == 1 ? kWriteSingle : kWriteMultiple, reg, count, encoding, scale, unit, -1};
}
constexpr DriveOperation Write(std::string_view name, CommandResult (*write)(SerialHandle, uint16_t, int32_t),
                               uint16_t reg, uint16_t count, E encoding, double scale = 1,
                               std::string_view unit = {}) {
  DriveOperation op{WriteShape(name, reg, count, encoding, scale, unit), OperationKind::WriteInt};
  op.writeInt = write;
  return op;
}
constexpr DriveOperation Write(std::string_view name, CommandResult (*write)(SerialHandle, uint16_t, double),
                               uint16_t reg, uint16_t count, E encoding, double scale = 1,
                               std::string_view unit = {}) {
  DriveOperation op{WriteShape(name, reg, count, encoding, scale, unit), OperationKind::WriteDouble};
  op.writeDouble = write;
  return op;
}
constexpr DriveOperation Command(std::string_view name, CommandResult (*command)(SerialHandle, uint16_t),
                                 uint16_t value) {
  DriveOperation op{{name, kWriteSingle, reg::kControlWord, 1, E::None, 1, {}, value}, OperationKind::Command};
  op.command = command;
  return op;
}

constexpr std::array kOperations{
    Read("ReadDriveModel", &ReadDriveModel, kReadHolding, reg::kDriveModel, 4, E::First32),
    Read("ReadDriveConfig", &ReadDriveConfig, kReadInput, reg::kDriveConfig, 1, E::U16),
    Write("WriteDriveConfig", &WriteDriveConfig, reg::kDriveConfig, 1, E::U16LowFirst),
    Read("ReadMaxCurrent", &ReadMaxCurrent, kReadInput, reg::kMaxCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadMinCurrent", &ReadMinCurrent, kReadInput, reg::kMinCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadDriveCurrent", &ReadDriveCurrent, kReadInput, reg::kDriveCurrent, 1, E::U16, 0.01, "A"),
    Write("WriteDriveCurrent", &WriteDriveCurrent, reg::kDriveCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadCurrentReduction", &ReadCurrentReduction, kReadInput, reg::kCurrentReduction, 1, E::U16, 1, "%"),
    Write("WriteCurrentReduction", &WriteCurrentReduction, reg::kCurrentReduction, 1, E::U16, 1, "%"),
    Read("ReadReductionDelay", &ReadReductionDelay, kReadInput, reg::kReductionDelay, 1, E::U16, 1, "ms"),
    Write("WriteReductionDelay", &WriteReductionDelay, reg::kReductionDelay, 1, E::U16, 1, "ms"),
    Read("ReadPulsesPerTooth", &ReadPulsesPerTooth, kReadHolding, reg::kPulsesPerTooth, 2, E::U32),
    Read("ReadPulseLength", &ReadPulseLength, kReadHolding, reg::kPulseLength, 2, E::U32),
    Write("WritePulseLength", &WritePulseLength, reg::kPulseLength, 2, E::U32),
    Read("ReadDeviationAlarm", &ReadDeviationAlarm, kReadHolding, reg::kDeviationAlarm, 2, E::U32),
    Read("ReadInPositionWindow", &ReadInPositionWindow, kReadHolding, reg::kInPositionWindow, 2, E::U32),
    Read("ReadInPositionTime", &ReadInPositionTime, kReadInput, reg::kInPositionTime, 1, E::U16),
    Read("ReadRunSpeed", &ReadRunSpeed, kReadInput, reg::kRunSpeed, 1, E::U16),
    Write("WriteRunSpeed", &WriteRunSpeed, reg::kRunSpeed, 1, E::U16),
    Read("ReadStartSpeed", &ReadStartSpeed, kReadInput, reg::kStartSpeed, 1, E::U16),
    Write("WriteStartSpeed", &WriteStartSpeed, reg::kStartSpeed, 1, E::U16),
    Read("ReadCommFilter", &ReadCommFilter, kReadInput, reg::kCommFilter, 1, E::U16),
    Write("WriteCommFilter", &WriteCommFilter, reg::kCommFilter, 1, E::U16),
    Read("ReadSpeedFactor", &ReadSpeedFactor, kReadInput, reg::kSpeedFactor, 1, E::U16),
    Read("ReadSpeedFilter", &ReadSpeedFilter, kReadInput, reg::kSpeedFilter, 1, E::U16),
    Write("WriteSpeedFilter", &WriteSpeedFilter, reg::kSpeedFilter, 1, E::U16),
    Read("ReadHomingSpeed", &ReadHomingSpeed, kReadInput, reg::kHomingSpeed, 1, E::U16),
    Write("WriteHomingSpeed", &WriteHomingSpeed, reg::kHomingSpeed, 1, E::U16),
    Read("ReadHomingFilter", &ReadHomingFilter, kReadInput, reg::kHomingFilter, 1, E::U16),
    Write("WriteHomingFilter", &WriteHomingFilter, reg::kHomingFilter, 1, E::U16),
    Read("ReadMotorTeeth", &ReadMotorTeeth, kReadHolding, reg::kMotorTeeth, 4, E::First16),
    Read("ReadDriveNumber", &ReadDriveNumber, kReadInput, reg::kDriveNumber, 1, E::U16),
    Write("WriteDriveNumber", &WriteDriveNumber, reg::kDriveNumber, 1, E::U16),
    Read("ReadBusBaudRate", &ReadBusBaudRate, kReadHolding, reg::kBusBaudRate, 2, E::U32, 1, "bit/s"),
    Read("ReadSensorConfig", &ReadSensorConfig, kReadHolding, reg::kSensorConfig, 4, E::Last32),
    Write("WriteSensorConfig", &WriteSensorConfig, reg::kSensorConfig, 4, E::U64Low32),
    Read("ReadInputBandwidth", &ReadInputBandwidth, kReadHolding, reg::kInputBandwidth, 2, E::U32),
    Write("WriteInputBandwidth", &WriteInputBandwidth, reg::kInputBandwidth, 2, E::U32),
    Command("ClearCommand", &ClearCommand, ctl::kClear),
    Command("SaveParameters", &SaveParameters, ctl::kSave),
    Command("ReleaseMotor", &ReleaseMotor, ctl::kRelease),
    Command("StopMotion", &StopMotion, ctl::kStop),
    Command("JogAwayFromMotor", &JogAwayFromMotor, ctl::kJogAway),
    Command("JogTowardMotor", &JogTowardMotor, ctl::kJogToward),
    Command("SetZeroPosition", &SetZeroPosition, ctl::kSetZero),
    Command("ReverseOriginSearch", &ReverseOriginSearch, ctl::kReverseOriginSearch),
    Command("StartOriginSearch", &StartOriginSearch, ctl::kStartOriginSearch),
    Read("ReadControlWord", &ReadControlWord, kReadInput, reg::kControlWord, 1, E::U16),
    Read("ReadErrorCode", &ReadErrorCode, kReadInput, reg::kErrorCode, 1, E::U16),
    Read("ReadActualCurrent", &ReadActualCurrent, kReadInput, reg::kActualCurrent, 1, E::U16, 0.01, "A"),
    Read("ReadActualPosition", &ReadActualPosition, kReadHolding, reg::kActualPosition, 2, E::S32),
    Read("ReadTargetPosition", &ReadTargetPosition, kReadHolding, reg::kTargetPosition, 2, E::S32),
    Write("WriteTargetPosition", &WriteTargetPosition, reg::kTargetPosition, 2, E::S32),
    Read("ReadPositionDeviation", &ReadPositionDeviation, kReadHolding, reg::kPositionDeviation, 2, E::S32),
    Read("ReadActualSpeed", &ReadActualSpeed, kReadHolding, reg::kActualSpeed, 2, E::S32),
    Read("ReadPortStatus", &ReadPortStatus, kReadInput, reg::kPortStatus, 1, E::U16),
    Read("ReadCpuTemperature", &ReadCpuTemperature, kReadInput, reg::kCpuTemperature, 1, E::U16, 1, "°C"),
    Read("ReadRunTime", &ReadRunTime, kReadHolding, reg::kRunTime, 2, E::U32, 1, "s"),
    Read("ReadTravelTotal", &ReadTravelTotal, kReadHolding, reg::kTravelTotal, 4, E::U64),
};

}  // namespace

std::span<const DriveOperation> DriveOperations() { return kOperations; }

const DriveOperation* FindDriveOperation(std::string_view name) {
  const auto it = std::find_if(kOperations.begin(), kOperations.end(),
                               [name](const DriveOperation& op) { return op.Name() == name; });
  return it == kOperations.end() ? nullptr : &*it;
}

}  // namespace dd
