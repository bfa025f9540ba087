#include "params/parameter_set.h"

#include <chrono>
#include <thread>

#include "link/drive_commands.h"

namespace dd {
namespace {

constexpr int kWriteAttempts = 11;
constexpr int kReadAttempts = 10;
constexpr int kRetryDelayMs = 5;

constexpr double kU16Max = 65535.0;
constexpr double kU32Max = 4294967295.0;

using W = ParameterWrite;

constexpr std::array<ParameterInfo, kParameterCount> kTable = {{
    {W::DriveConfig, "DriveConfig", std::nullopt, kU16Max, "工作模式："},
    {W::InputBandwidth, "InputBandwidth", Control::InputBandwidthField, kU32Max, "输入带宽："},
    {W::DriveNumber, "DriveNumber", Control::DriveNumberField, kU16Max, "驱动器号："},
    {W::CurrentReduction, "CurrentReduction", Control::CurrentReductionField, kU16Max, "电流下降："},
    {W::ReductionDelay, "ReductionDelay", Control::ReductionDelayField, kU16Max, "下降等待："},
    {W::DriveCurrent, "DriveCurrent", Control::DriveCurrentField, kU16Max, "驱动电流："},
    {W::RunSpeed, "RunSpeed", Control::RunSpeedField, kU16Max, "运行速度："},
    {W::HomingSpeed, "HomingSpeed", Control::HomingSpeedField, kU16Max, "归零速度："},
    {W::StartSpeed, "StartSpeed", Control::StartSpeedField, kU16Max, "启动速度："},
    {W::CommFilter, "CommFilter", Control::CommFilterField, kU16Max, "通信滤波："},
    {W::SpeedFilter, "SpeedFilter", Control::SpeedFilterField, kU16Max, "速度滤波："},
    {W::HomingFilter, "HomingFilter", Control::HomingFilterField, kU16Max, "归零滤波："},
    {W::PulseLength, "PulseLength", Control::PulseLengthField, kU32Max, "脉冲长度："},
    {W::SensorConfig, "SensorConfig", std::nullopt, kU32Max, "传感器信号："},
}};

bool Attempt(const BusAccess& bus, int attempts, const std::function<CommandResult()>& op) {
  for (int i = 0; i < attempts; ++i) {
    if (bus.Lost()) return false;
    std::optional<BusHold> hold;
    if (bus.lock != nullptr) hold.emplace(*bus.lock, kBusWaitMs);
    if ((!hold || *hold) && op() == kOk) {
      hold.reset();
      // The lock is not fair: without a pause this worker takes it straight back and
      // polling waits for the whole read.
      if (bus.lock != nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return true;
    }
    hold.reset();
    if (bus.failedAttempts != nullptr) ++*bus.failedAttempts;
    if (bus.delay) bus.delay(kRetryDelayMs);
  }
  return false;
}

using IntRead = CommandResult (*)(SerialHandle, uint16_t, int32_t&);
using DoubleRead = CommandResult (*)(SerialHandle, uint16_t, double&);

IntRead IntReader(ParameterWrite write) {
  switch (write) {
    case W::DriveConfig: return ReadDriveConfig;
    case W::DriveNumber: return ReadDriveNumber;
    case W::CurrentReduction: return ReadCurrentReduction;
    case W::ReductionDelay: return ReadReductionDelay;
    case W::DriveCurrent: return ReadDriveCurrent;
    case W::RunSpeed: return ReadRunSpeed;
    case W::HomingSpeed: return ReadHomingSpeed;
    case W::StartSpeed: return ReadStartSpeed;
    case W::CommFilter: return ReadCommFilter;
    case W::SpeedFilter: return ReadSpeedFilter;
    case W::HomingFilter: return ReadHomingFilter;
    case W::SensorConfig: return ReadSensorConfig;
    case W::InputBandwidth:
    case W::PulseLength: break;
  }
  return nullptr;
}

}  // namespace

const std::array<ParameterInfo, kParameterCount>& ParameterTable() { return kTable; }

const ParameterInfo& InfoOf(ParameterWrite write) { return kTable[IndexOf(write)]; }

const ParameterInfo* FindParameter(std::string_view name) {
  for (const ParameterInfo& p : kTable) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

CommandResult SendParameterWrite(ParameterWrite write, double value, SerialHandle p,
                                 uint16_t a) {
  // The one-register writes refuse (kValueOutOfRange) what does not fit 0..65535.
  const auto word = value >= -2147483648.0 && value <= 2147483647.0 ? static_cast<int32_t>(value)
                                                                    : int32_t{-1};
  switch (write) {
    case W::DriveConfig: return WriteDriveConfig(p, a, word);
    case W::InputBandwidth: return WriteInputBandwidth(p, a, value);
    case W::DriveNumber: return WriteDriveNumber(p, a, word);
    case W::CurrentReduction: return WriteCurrentReduction(p, a, word);
    case W::ReductionDelay: return WriteReductionDelay(p, a, word);
    case W::DriveCurrent: return WriteDriveCurrent(p, a, word);
    case W::RunSpeed: return WriteRunSpeed(p, a, word);
    case W::HomingSpeed: return WriteHomingSpeed(p, a, word);
    case W::StartSpeed: return WriteStartSpeed(p, a, word);
    case W::CommFilter: return WriteCommFilter(p, a, word);
    case W::SpeedFilter: return WriteSpeedFilter(p, a, word);
    case W::HomingFilter: return WriteHomingFilter(p, a, word);
    case W::PulseLength: return WritePulseLength(p, a, value);
    case W::SensorConfig: return WriteSensorConfig(p, a, value);
  }
  return kValueOutOfRange;
}

bool WriteWithSaveRetry(const BusAccess& bus, ParameterWrite write, double value) {
  return Attempt(bus, kWriteAttempts,
                 [&] { return SendParameterWrite(write, value, bus.port, bus.address); });
}

bool StoreWithSaveRetry(const BusAccess& bus) {
  return Attempt(bus, kWriteAttempts, [&] { return SaveParameters(bus.port, bus.address); });
}

bool ReadWithRetry(const BusAccess& bus, const std::function<CommandResult()>& op) {
  return Attempt(bus, kReadAttempts, op);
}

uint16_t AnsweringAddress(const BusAccess& bus, uint16_t number) {
  const auto answersAt = [&bus](uint16_t address) {
    double model = 0;
    BusAccess at = bus;
    at.address = address;
    return ReadWithRetry(at, [&] { return ReadDriveModel(bus.port, address, model); });
  };
  return !answersAt(number) && answersAt(bus.address) ? bus.address : number;
}

std::optional<int64_t> ReadParameter(const BusAccess& bus, ParameterWrite write) {
  if (const IntRead read = IntReader(write)) {
    int32_t value = 0;
    if (!ReadWithRetry(bus, [&] { return read(bus.port, bus.address, value); })) {
      return std::nullopt;
    }
    return value;
  }
  const DoubleRead read = write == W::PulseLength ? ReadPulseLength : ReadInputBandwidth;
  double value = 0;
  if (!ReadWithRetry(bus, [&] { return read(bus.port, bus.address, value); })) {
    return std::nullopt;
  }
  return static_cast<int64_t>(value);  // a U32 register: always whole and in range
}

bool ReadCleanly(const BusAccess& bus, const std::function<void(const BusAccess&)>& reads) {
  constexpr int kRuns = 3;
  for (int run = 0; run < kRuns; ++run) {
    if (bus.delay) bus.delay(kLateReplyQuietMs);
    int failed = 0;
    BusAccess counted = bus;
    counted.failedAttempts = &failed;
    reads(counted);
    if (bus.Lost()) return false;
    if (failed == 0) return true;
  }
  return false;
}

int32_t DriveConfigWriteArgument(int32_t registerValue) {
  const auto v = static_cast<uint32_t>(registerValue) & 0xFFFFu;
  return static_cast<int32_t>(((v & 0xFFu) << 8) | (v >> 8));
}

double WriteArgumentOf(ParameterWrite write, int64_t registerValue) {
  if (write == W::DriveConfig) {
    return DriveConfigWriteArgument(static_cast<int32_t>(registerValue));
  }
  return static_cast<double>(registerValue);
}

}  // namespace dd
