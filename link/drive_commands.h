// One operation per drive request. Each takes the port handle and the drive address
// first and returns a CommandResult; reads return their value through the last argument
// and leave it untouched on result 1, set it to 0 on result 2. A write whose value
// cannot be encoded (out of range, not finite) sends nothing and returns kValueOutOfRange;
// doubles are rounded to whole numbers, halves to even.
#pragma once

#include <cstdint>

#include "link/modbus_rtu.h"
#include "link/serial_port.h"

namespace dd {

// --- Configuration registers ---
CommandResult ReadDriveModel(SerialHandle port, uint16_t address, double& value);      // First32
CommandResult ReadDriveConfig(SerialHandle port, uint16_t address, int32_t& value);    // U16
CommandResult WriteDriveConfig(SerialHandle port, uint16_t address, int32_t value);    // U16LowFirst
CommandResult ReadMaxCurrent(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadMinCurrent(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadDriveCurrent(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteDriveCurrent(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadCurrentReduction(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteCurrentReduction(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadReductionDelay(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteReductionDelay(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadPulsesPerTooth(SerialHandle port, uint16_t address, double& value);  // U32
CommandResult ReadPulseLength(SerialHandle port, uint16_t address, double& value);     // U32
CommandResult WritePulseLength(SerialHandle port, uint16_t address, double value);     // U32
CommandResult ReadDeviationAlarm(SerialHandle port, uint16_t address, double& value);  // U32
CommandResult ReadInPositionWindow(SerialHandle port, uint16_t address, double& value);// U32
CommandResult ReadInPositionTime(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadRunSpeed(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteRunSpeed(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadStartSpeed(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteStartSpeed(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadCommFilter(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteCommFilter(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadSpeedFactor(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadSpeedFilter(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteSpeedFilter(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadHomingSpeed(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteHomingSpeed(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadHomingFilter(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteHomingFilter(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadMotorTeeth(SerialHandle port, uint16_t address, int32_t& value);     // First16
CommandResult ReadDriveNumber(SerialHandle port, uint16_t address, int32_t& value);
CommandResult WriteDriveNumber(SerialHandle port, uint16_t address, int32_t value);
CommandResult ReadBusBaudRate(SerialHandle port, uint16_t address, double& value);     // U32
CommandResult ReadSensorConfig(SerialHandle port, uint16_t address, int32_t& value);   // Last32
CommandResult WriteSensorConfig(SerialHandle port, uint16_t address, double value);    // U64Low32
CommandResult ReadInputBandwidth(SerialHandle port, uint16_t address, double& value);  // U32
CommandResult WriteInputBandwidth(SerialHandle port, uint16_t address, double value);  // U32

// --- Control word commands (function 6 into register 0) ---
CommandResult ClearCommand(SerialHandle port, uint16_t address);
CommandResult SaveParameters(SerialHandle port, uint16_t address);
CommandResult ReleaseMotor(SerialHandle port, uint16_t address);
CommandResult StopMotion(SerialHandle port, uint16_t address);
CommandResult JogAwayFromMotor(SerialHandle port, uint16_t address);
CommandResult JogTowardMotor(SerialHandle port, uint16_t address);
CommandResult SetZeroPosition(SerialHandle port, uint16_t address);
CommandResult ReverseOriginSearch(SerialHandle port, uint16_t address);
CommandResult StartOriginSearch(SerialHandle port, uint16_t address);

// --- Control, target and live values ---
CommandResult ReadControlWord(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadErrorCode(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadActualCurrent(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadActualPosition(SerialHandle port, uint16_t address, double& value);   // S32
CommandResult ReadTargetPosition(SerialHandle port, uint16_t address, double& value);   // S32
CommandResult WriteTargetPosition(SerialHandle port, uint16_t address, double value);   // S32
CommandResult ReadPositionDeviation(SerialHandle port, uint16_t address, double& value);// S32
CommandResult ReadActualSpeed(SerialHandle port, uint16_t address, double& value);      // S32
CommandResult ReadPortStatus(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadCpuTemperature(SerialHandle port, uint16_t address, int32_t& value);
CommandResult ReadRunTime(SerialHandle port, uint16_t address, double& value);          // U32
CommandResult ReadTravelTotal(SerialHandle port, uint16_t address, double& value);      // U64

}  // namespace dd
