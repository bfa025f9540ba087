#include "link/drive_catalog.h"

#include <algorithm>
#include <array>

namespace dd {
namespace {

constexpr std::array kOperations{
    DriveOperation{"ReadDriveModel", OperationKind::ReadDouble, nullptr, &ReadDriveModel},
    DriveOperation{"ReadDriveConfig", OperationKind::ReadInt, &ReadDriveConfig},
    DriveOperation{"WriteDriveConfig", OperationKind::WriteInt, nullptr, nullptr, &WriteDriveConfig},
    DriveOperation{"ReadMaxCurrent", OperationKind::ReadInt, &ReadMaxCurrent},
    DriveOperation{"ReadMinCurrent", OperationKind::ReadInt, &ReadMinCurrent},
    DriveOperation{"ReadDriveCurrent", OperationKind::ReadInt, &ReadDriveCurrent},
    DriveOperation{"WriteDriveCurrent", OperationKind::WriteInt, nullptr, nullptr, &WriteDriveCurrent},
    DriveOperation{"ReadCurrentReduction", OperationKind::ReadInt, &ReadCurrentReduction},
    DriveOperation{"WriteCurrentReduction", OperationKind::WriteInt, nullptr, nullptr, &WriteCurrentReduction},
    DriveOperation{"ReadReductionDelay", OperationKind::ReadInt, &ReadReductionDelay},
    DriveOperation{"WriteReductionDelay", OperationKind::WriteInt, nullptr, nullptr, &WriteReductionDelay},
    DriveOperation{"ReadPulsesPerTooth", OperationKind::ReadDouble, nullptr, &ReadPulsesPerTooth},
    DriveOperation{"ReadPulseLength", OperationKind::ReadDouble, nullptr, &ReadPulseLength},
    DriveOperation{"WritePulseLength", OperationKind::WriteDouble, nullptr, nullptr, nullptr, &WritePulseLength},
    DriveOperation{"ReadDeviationAlarm", OperationKind::ReadDouble, nullptr, &ReadDeviationAlarm},
    DriveOperation{"ReadInPositionWindow", OperationKind::ReadDouble, nullptr, &ReadInPositionWindow},
    DriveOperation{"ReadInPositionTime", OperationKind::ReadInt, &ReadInPositionTime},
    DriveOperation{"ReadRunSpeed", OperationKind::ReadInt, &ReadRunSpeed},
    DriveOperation{"WriteRunSpeed", OperationKind::WriteInt, nullptr, nullptr, &WriteRunSpeed},
    DriveOperation{"ReadStartSpeed", OperationKind::ReadInt, &ReadStartSpeed},
    DriveOperation{"WriteStartSpeed", OperationKind::WriteInt, nullptr, nullptr, &WriteStartSpeed},
    DriveOperation{"ReadCommFilter", OperationKind::ReadInt, &ReadCommFilter},
    DriveOperation{"WriteCommFilter", OperationKind::WriteInt, nullptr, nullptr, &WriteCommFilter},
    DriveOperation{"ReadSpeedFactor", OperationKind::ReadInt, &ReadSpeedFactor},
    DriveOperation{"ReadSpeedFilter", OperationKind::ReadInt, &ReadSpeedFilter},
    DriveOperation{"WriteSpeedFilter", OperationKind::WriteInt, nullptr, nullptr, &WriteSpeedFilter},
    DriveOperation{"ReadHomingSpeed", OperationKind::ReadInt, &ReadHomingSpeed},
    DriveOperation{"WriteHomingSpeed", OperationKind::WriteInt, nullptr, nullptr, &WriteHomingSpeed},
    DriveOperation{"ReadHomingFilter", OperationKind::ReadInt, &ReadHomingFilter},
    DriveOperation{"WriteHomingFilter", OperationKind::WriteInt, nullptr, nullptr, &WriteHomingFilter},
    DriveOperation{"ReadMotorTeeth", OperationKind::ReadInt, &ReadMotorTeeth},
    DriveOperation{"ReadDriveNumber", OperationKind::ReadInt, &ReadDriveNumber},
    DriveOperation{"WriteDriveNumber", OperationKind::WriteInt, nullptr, nullptr, &WriteDriveNumber},
    DriveOperation{"ReadBusBaudRate", OperationKind::ReadDouble, nullptr, &ReadBusBaudRate},
    DriveOperation{"ReadSensorConfig", OperationKind::ReadInt, &ReadSensorConfig},
    DriveOperation{"WriteSensorConfig", OperationKind::WriteDouble, nullptr, nullptr, nullptr, &WriteSensorConfig},
    DriveOperation{"ReadInputBandwidth", OperationKind::ReadDouble, nullptr, &ReadInputBandwidth},
    DriveOperation{"WriteInputBandwidth", OperationKind::WriteDouble, nullptr, nullptr, nullptr, &WriteInputBandwidth},
    DriveOperation{"ClearCommand", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &ClearCommand},
    DriveOperation{"SaveParameters", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &SaveParameters},
    DriveOperation{"ReleaseMotor", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &ReleaseMotor},
    DriveOperation{"StopMotion", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &StopMotion},
    DriveOperation{"JogAwayFromMotor", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &JogAwayFromMotor},
    DriveOperation{"JogTowardMotor", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &JogTowardMotor},
    DriveOperation{"SetZeroPosition", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &SetZeroPosition},
    DriveOperation{"ReverseOriginSearch", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &ReverseOriginSearch},
    DriveOperation{"StartOriginSearch", OperationKind::Command, nullptr, nullptr, nullptr, nullptr, &StartOriginSearch},
    DriveOperation{"ReadControlWord", OperationKind::ReadInt, &ReadControlWord},
    DriveOperation{"ReadErrorCode", OperationKind::ReadInt, &ReadErrorCode},
    DriveOperation{"ReadActualCurrent", OperationKind::ReadInt, &ReadActualCurrent},
    DriveOperation{"ReadActualPosition", OperationKind::ReadDouble, nullptr, &ReadActualPosition},
    DriveOperation{"ReadTargetPosition", OperationKind::ReadDouble, nullptr, &ReadTargetPosition},
    DriveOperation{"WriteTargetPosition", OperationKind::WriteDouble, nullptr, nullptr, nullptr, &WriteTargetPosition},
    DriveOperation{"ReadPositionDeviation", OperationKind::ReadDouble, nullptr, &ReadPositionDeviation},
    DriveOperation{"ReadActualSpeed", OperationKind::ReadDouble, nullptr, &ReadActualSpeed},
    DriveOperation{"ReadPortStatus", OperationKind::ReadInt, &ReadPortStatus},
    DriveOperation{"ReadCpuTemperature", OperationKind::ReadInt, &ReadCpuTemperature},
    DriveOperation{"ReadRunTime", OperationKind::ReadDouble, nullptr, &ReadRunTime},
    DriveOperation{"ReadTravelTotal", OperationKind::ReadDouble, nullptr, &ReadTravelTotal},
};

}  // namespace

std::span<const DriveOperation> DriveOperations() { return kOperations; }

const DriveOperation* FindDriveOperation(std::string_view name) {
  const auto it = std::find_if(kOperations.begin(), kOperations.end(),
                               [name](const DriveOperation& op) { return op.name == name; });
  return it == kOperations.end() ? nullptr : &*it;
}

}  // namespace dd
