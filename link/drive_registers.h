// The drive's register map: addresses, control-word values and bit layouts.
#pragma once

#include <cstdint>

namespace dd::reg {

// Configuration registers.
inline constexpr uint16_t kDriveModel = 0x0004;        // 4 regs, fn 3, First32
inline constexpr uint16_t kDriveConfig = 0x0008;       // fn 4 / fn 6 (U16LowFirst)
inline constexpr uint16_t kMaxCurrent = 0x0010;
inline constexpr uint16_t kMinCurrent = 0x0011;
inline constexpr uint16_t kDriveCurrent = 0x0012;
inline constexpr uint16_t kCurrentReduction = 0x0013;
inline constexpr uint16_t kReductionDelay = 0x0014;
inline constexpr uint16_t kPulsesPerTooth = 0x0028;    // 2 regs U32
inline constexpr uint16_t kPulseLength = 0x002A;       // 2 regs U32, fn 16
inline constexpr uint16_t kDeviationAlarm = 0x0030;    // 2 regs U32
inline constexpr uint16_t kInPositionWindow = 0x0032;  // 2 regs U32
inline constexpr uint16_t kInPositionTime = 0x0034;
inline constexpr uint16_t kRunSpeed = 0x0040;
inline constexpr uint16_t kStartSpeed = 0x0041;
inline constexpr uint16_t kCommFilter = 0x0042;
inline constexpr uint16_t kSpeedFactor = 0x0043;
inline constexpr uint16_t kSpeedFilter = 0x0044;
inline constexpr uint16_t kHomingSpeed = 0x0046;
inline constexpr uint16_t kHomingFilter = 0x0047;
inline constexpr uint16_t kMotorTeeth = 0x0050;        // 4 regs, First16
inline constexpr uint16_t kDriveNumber = 0x0061;
inline constexpr uint16_t kBusBaudRate = 0x0062;       // 2 regs U32
inline constexpr uint16_t kSensorConfig = 0x0084;      // 4 regs: read Last32, write U64Low32
inline constexpr uint16_t kInputBandwidth = 0x0090;    // 2 regs U32

// Control, motion and status registers.
inline constexpr uint16_t kControlWord = 0x0000;
inline constexpr uint16_t kErrorCode = 0x0002;
inline constexpr uint16_t kActualCurrent = 0x0015;
inline constexpr uint16_t kActualPosition = 0x002C;    // 2 regs S32
inline constexpr uint16_t kTargetPosition = 0x002E;    // 2 regs S32, fn 16
inline constexpr uint16_t kPositionDeviation = 0x003C; // 2 regs S32
inline constexpr uint16_t kActualSpeed = 0x0045;       // 2 regs S32 (overlaps 0x0046 as a single)
inline constexpr uint16_t kPortStatus = 0x0080;
inline constexpr uint16_t kCpuTemperature = 0x0300;
inline constexpr uint16_t kRunTime = 0x1006;           // 2 regs U32, seconds
inline constexpr uint16_t kTravelTotal = 0x1008;       // 4 regs U64, encoder pulses

}  // namespace dd::reg

namespace dd::ctl {

// ControlWord values: each command writes its own constant.
inline constexpr uint16_t kClear = 0x0000;
inline constexpr uint16_t kSave = 0x0001;
inline constexpr uint16_t kRelease = 0x0004;
inline constexpr uint16_t kStop = 0x0008;
inline constexpr uint16_t kJogAway = 0x0010;
inline constexpr uint16_t kJogToward = 0x0020;
inline constexpr uint16_t kSetZero = 0x0100;
inline constexpr uint16_t kReverseOriginSearch = 0x0400;
inline constexpr uint16_t kStartOriginSearch = 0x0800;
inline constexpr uint16_t kReleasedBit = 0x0004;  // on read: 1 = released

}  // namespace dd::ctl

namespace dd::cfg {

// DriveConfigWord as the drive holds it.
inline constexpr uint16_t kModeMask = 0x000F;
inline constexpr uint16_t kModeDirPulse = 0;
inline constexpr uint16_t kModeDualPulse = 4;
inline constexpr uint16_t kModeLimits = 8;
inline constexpr uint16_t kStartReleased = 1u << 13;
inline constexpr uint16_t kMotorReversed = 1u << 14;
inline constexpr uint16_t kAppReversed = 1u << 15;

// SensorConfigWord (low 32 bits of the 64-bit block).
inline constexpr uint32_t kOriginClosed = 1u << 19;
inline constexpr uint32_t kLimitsClosed = (1u << 16) | (1u << 17) | (1u << 28) | (1u << 29);
inline constexpr uint32_t kOriginOpenBit4 = 1u << 4;
inline constexpr uint32_t kLimitBits12_13 = (1u << 12) | (1u << 13);
inline constexpr uint32_t kLimitBits28_29 = (1u << 28) | (1u << 29);

}  // namespace dd::cfg

namespace dd::port {

// PortStatusWord bits (1 = active).
inline constexpr uint16_t kStep = 1u << 0;   // far-motor-end limit in limit mode
inline constexpr uint16_t kDir = 1u << 1;    // near-motor-end limit in limit mode
inline constexpr uint16_t kFree = 1u << 2;   // origin on drive variant 1
inline constexpr uint16_t kZero = 1u << 3;   // origin on other variants
inline constexpr uint16_t kReady = 1u << 8;
inline constexpr uint16_t kInp = 1u << 9;
inline constexpr uint16_t kBrk = 1u << 10;
inline constexpr uint16_t kPsl = 1u << 12;
inline constexpr uint16_t kPsh = 1u << 13;

}  // namespace dd::port
