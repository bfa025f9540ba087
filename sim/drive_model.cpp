#include "sim/drive_model.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "link/drive_registers.h"

namespace dd {

namespace {

struct BlockSpec {
  uint16_t address;
  uint16_t count;
  bool writable;
};

// Multi-register values, keyed by start address: 0x0045 (live speed, two registers)
// overlaps the single homing-speed register 0x0046.
constexpr BlockSpec kBlocks[] = {
    {reg::kDriveModel, 4, false},        {reg::kPulsesPerTooth, 2, false},
    {reg::kPulseLength, 2, true},        {reg::kActualPosition, 2, false},
    {reg::kTargetPosition, 2, true},     {reg::kDeviationAlarm, 2, false},
    {reg::kInPositionWindow, 2, false},  {reg::kPositionDeviation, 2, false},
    {reg::kActualSpeed, 2, false},       {reg::kMotorTeeth, 4, false},
    {reg::kBusBaudRate, 2, false},       {reg::kSensorConfig, 4, true},
    {reg::kInputBandwidth, 2, true},     {reg::kRunTime, 2, false},
    {reg::kTravelTotal, 4, false},
};

struct SingleSpec {
  uint16_t address;
  bool writable;
};

constexpr SingleSpec kSingles[] = {
    {reg::kControlWord, true},       {reg::kErrorCode, false},
    {reg::kDriveConfig, true},       {reg::kMaxCurrent, false},
    {reg::kMinCurrent, false},       {reg::kDriveCurrent, true},
    {reg::kCurrentReduction, true},  {reg::kReductionDelay, true},
    {reg::kActualCurrent, false},    {reg::kInPositionTime, false},
    {reg::kRunSpeed, true},          {reg::kStartSpeed, true},
    {reg::kCommFilter, true},        {reg::kSpeedFactor, false},
    {reg::kSpeedFilter, true},       {reg::kHomingSpeed, true},
    {reg::kHomingFilter, true},      {reg::kDriveNumber, true},
    {reg::kPortStatus, false},       {reg::kCpuTemperature, false},
};

const BlockSpec* FindBlock(uint16_t address) {
  for (const auto& b : kBlocks)
    if (b.address == address) return &b;
  return nullptr;
}

const SingleSpec* FindSingle(uint16_t address) {
  for (const auto& s : kSingles)
    if (s.address == address) return &s;
  return nullptr;
}

std::vector<uint16_t> Words(uint64_t value, uint16_t count) {
  std::vector<uint16_t> w(count);
  for (uint16_t i = 0; i < count; ++i)
    w[count - 1 - i] = static_cast<uint16_t>(value >> (16 * i));
  return w;
}

uint64_t FromWords(const std::vector<uint16_t>& words) {
  uint64_t v = 0;
  for (uint16_t w : words) v = (v << 16) | w;
  return v;
}

// Counters wrap like the drive's 32-bit registers.
uint32_t AsS32(double value) {
  const double r = std::nearbyint(value);
  const auto wide = static_cast<int64_t>(std::clamp(r, -9.0e18, 9.0e18));
  return static_cast<uint32_t>(static_cast<uint64_t>(wide));
}

int Index(SimSensorId id) { return static_cast<int>(id); }

constexpr double kStep = 0.001;

}  // namespace

DriveModel::DriveModel(const SimConfig& config) : config_(config), axis_(config.axis) {
  const double pl = config.pulseLength == 0 ? 1.0 : static_cast<double>(config.pulseLength);
  axis_.nearLimit.position *= pl;
  axis_.farLimit.position *= pl;
  axis_.origin.position *= pl;
  axis_.originWidth *= pl;
  axis_.startPosition *= pl;
  axis_.maxAccel *= pl;
  params_ = Parameters{config.driveConfig,  config.driveCurrent, config.currentReduction,
                       config.reductionDelay, config.pulseLength, config.runSpeed,
                       config.startSpeed,   config.commFilter,   config.speedFilter,
                       config.homingSpeed,  config.homingFilter,
                       static_cast<uint16_t>(config.driveNumber == 0 ? config.slaveAddress
                                                                     : config.driveNumber),
                       config.sensorConfig, config.inputBandwidth};
  if (!config.sensorLevelsConfigurable) params_.sensorConfig = 0;
  saved_ = params_;
  errorCode_ = config.errorCode;
  runSeconds_ = config.runTimeSeconds;
  travelPulses_ = static_cast<double>(config.travelPulses);
  command_ = axis_.startPosition;
  PowerUp();
}

void DriveModel::PowerUp() {
  slaveAddress_ = static_cast<uint8_t>(params_.driveNumber == 0 ? config_.slaveAddress
                                                                : params_.driveNumber);
  velocity_ = 0;
  accel_ = 0;
  deviation_ = 0;
  zero_ = command_;
  target_ = command_;
  hold_ = command_;
  originEdge_.reset();
  standstillMs_ = 1e9;
  const bool released = (params_.driveConfig & cfg::kStartReleased) != 0;
  mode_ = released ? Mode::Released : Mode::Follow;
  controlWord_ = released ? ctl::kRelease : ctl::kClear;
}

void DriveModel::PowerCycle() {
  params_ = saved_;
  errorCode_ = 0;
  for (auto& f : forced_) f.reset();
  PowerUp();
}

double DriveModel::PulseLength() const {
  return params_.pulseLength == 0 ? 1.0 : static_cast<double>(params_.pulseLength);
}

int DriveModel::DriveVariant() const {
  if (config_.driveModel == 0) return 3;
  const std::string text = std::to_string(config_.driveModel);
  if (text.size() < 2) return 0;
  return text[1] == '1' ? 1 : (text[1] == '3' ? 3 : 0);
}

bool DriveModel::LimitMode() const {
  return (params_.driveConfig & cfg::kModeMask) == cfg::kModeLimits;
}

bool DriveModel::OriginNormallyClosed() const {
  const auto s = static_cast<uint32_t>(params_.sensorConfig);
  return (s & cfg::kOriginClosed) != 0 && (s & cfg::kOriginOpenBit4) == 0;
}

bool DriveModel::LimitsNormallyClosed() const {
  const auto s = static_cast<uint32_t>(params_.sensorConfig);
  return (s & cfg::kLimitBits28_29) == cfg::kLimitBits28_29 && (s & cfg::kLimitBits12_13) == 0;
}

SimSensor& DriveModel::Sensor(SimSensorId id) {
  switch (id) {
    case SimSensorId::NearLimit: return axis_.nearLimit;
    case SimSensorId::FarLimit: return axis_.farLimit;
    case SimSensorId::Origin: break;
  }
  return axis_.origin;
}

const SimSensor& DriveModel::Sensor(SimSensorId id) const {
  return const_cast<DriveModel*>(this)->Sensor(id);
}

bool DriveModel::Triggered(SimSensorId id) const {
  const double p = ActualPulses();
  const SimSensor& s = Sensor(id);
  switch (id) {
    case SimSensorId::NearLimit: return p >= s.position;
    case SimSensorId::FarLimit: return p <= s.position;
    case SimSensorId::Origin: break;
  }
  return p >= s.position && p <= s.position + axis_.originWidth;
}

bool DriveModel::InputActive(SimSensorId id) const {
  if (forced_[Index(id)]) return *forced_[Index(id)];
  const SimSensor& s = Sensor(id);
  const bool conducting = s.wired && (Triggered(id) != s.normallyClosed);
  const bool closedLevel =
      id == SimSensorId::Origin ? OriginNormallyClosed() : LimitsNormallyClosed();
  return closedLevel ? !conducting : conducting;
}

void DriveModel::ForceInput(SimSensorId id, std::optional<bool> active) {
  forced_[Index(id)] = active;
}

SimAxis DriveModel::Axis() const {
  const double pl = PulseLength();
  SimAxis a = axis_;
  a.nearLimit.position /= pl;
  a.farLimit.position /= pl;
  a.origin.position /= pl;
  a.originWidth /= pl;
  a.startPosition /= pl;
  a.maxAccel /= pl;
  return a;
}

double DriveModel::UnitsPerRevolution() const {
  const double teeth = config_.motorTeeth == 0 ? 50.0 : config_.motorTeeth;
  return teeth * config_.pulsesPerTooth / PulseLength();
}

// v speed units = v * SpeedCoefficient * 60000 / PulsesPerRev rpm, which is
// v * SpeedCoefficient * 1000 encoder pulses per second.
double DriveModel::SpeedUnitsToPulsesPerSecond(double speedUnits) const {
  return speedUnits * config_.speedCoefficient * 1000.0;
}

double DriveModel::TruePosition() const { return ActualPulses() / PulseLength(); }
double DriveModel::DrivePosition() const { return (ActualPulses() - zero_) / PulseLength(); }
double DriveModel::TargetPosition() const { return (target_ - zero_) / PulseLength(); }
double DriveModel::Speed() const { return velocity_ / PulseLength(); }

int32_t DriveModel::SpeedRegister() const {
  if (velocity_ == 0) return 0;
  const double perUnit = SpeedUnitsToPulsesPerSecond(1);
  if (perUnit <= 0) return 0;
  // Never 0 while moving: the master takes speed 0 as standstill.
  const double v = std::max(1.0, std::round(std::fabs(velocity_) / perUnit));
  return static_cast<int32_t>(std::min(v, 2147483647.0)) * (velocity_ < 0 ? -1 : 1);
}

void DriveModel::SetTruePosition(double position) {
  command_ = position * PulseLength();
  velocity_ = 0;
  accel_ = 0;
  deviation_ = 0;
  target_ = command_;
  hold_ = command_;
  originEdge_.reset();
  if (mode_ == Mode::JogAway || mode_ == Mode::JogToward || mode_ == Mode::SearchAway ||
      mode_ == Mode::SearchToward)
    mode_ = Mode::Hold;
}

uint16_t DriveModel::ControlWord() const { return controlWord_; }

uint16_t DriveModel::PortStatus() const {
  uint16_t s = 0;
  if (InputActive(SimSensorId::FarLimit)) s |= port::kStep;
  if (InputActive(SimSensorId::NearLimit)) s |= port::kDir;
  if (InputActive(SimSensorId::Origin)) s |= DriveVariant() == 1 ? port::kFree : port::kZero;
  const bool enabled = mode_ != Mode::Released;
  if (enabled && errorCode_ == 0) s |= port::kReady;
  const double window = static_cast<double>(config_.inPositionWindow) * PulseLength();
  if (enabled && velocity_ == 0 && std::fabs(target_ - ActualPulses()) <= window) s |= port::kInp;
  if (enabled) s |= port::kBrk;
  return s;
}

uint16_t DriveModel::ActualCurrent() const {
  if (mode_ == Mode::Released) return 0;
  if (velocity_ != 0 || standstillMs_ < params_.reductionDelay) return params_.driveCurrent;
  const unsigned reduction = std::min<unsigned>(params_.currentReduction, 100);
  return static_cast<uint16_t>(params_.driveCurrent * (100 - reduction) / 100);
}

std::optional<uint16_t> DriveModel::Single(uint16_t address) const {
  switch (address) {
    case reg::kControlWord: return ControlWord();
    case reg::kErrorCode: return errorCode_;
    case reg::kDriveConfig: return params_.driveConfig;
    case reg::kMaxCurrent: return config_.maxCurrent;
    case reg::kMinCurrent: return config_.minCurrent;
    case reg::kDriveCurrent: return params_.driveCurrent;
    case reg::kCurrentReduction: return params_.currentReduction;
    case reg::kReductionDelay: return params_.reductionDelay;
    case reg::kActualCurrent: return ActualCurrent();
    case reg::kInPositionTime: return config_.inPositionTime;
    case reg::kRunSpeed: return params_.runSpeed;
    case reg::kStartSpeed: return params_.startSpeed;
    case reg::kCommFilter: return params_.commFilter;
    case reg::kSpeedFactor: return config_.speedCoefficient;
    case reg::kSpeedFilter: return params_.speedFilter;
    case reg::kHomingSpeed: return params_.homingSpeed;
    case reg::kHomingFilter: return params_.homingFilter;
    case reg::kDriveNumber: return params_.driveNumber;
    case reg::kPortStatus: return PortStatus();
    case reg::kCpuTemperature: return config_.cpuTemperature;
    default: return std::nullopt;
  }
}

std::optional<std::vector<uint16_t>> DriveModel::Block(uint16_t address) const {
  const double pl = PulseLength();
  switch (address) {
    case reg::kDriveModel: return Words(uint64_t{config_.driveModel} << 32, 4);
    case reg::kPulsesPerTooth: return Words(config_.pulsesPerTooth, 2);
    case reg::kPulseLength: return Words(params_.pulseLength, 2);
    case reg::kActualPosition: return Words(AsS32((ActualPulses() - zero_) / pl), 2);
    case reg::kTargetPosition: return Words(AsS32((target_ - zero_) / pl), 2);
    case reg::kDeviationAlarm: return Words(config_.deviationAlarm, 2);
    case reg::kInPositionWindow: return Words(config_.inPositionWindow, 2);
    case reg::kPositionDeviation: return Words(AsS32(deviation_ / pl), 2);
    case reg::kActualSpeed:
      return Words(static_cast<uint32_t>(SpeedRegister()), 2);
    case reg::kMotorTeeth: return Words(uint64_t{config_.motorTeeth} << 48, 4);
    case reg::kBusBaudRate: return Words(config_.lineBaud, 2);
    case reg::kSensorConfig: return Words(params_.sensorConfig, 4);
    case reg::kInputBandwidth: return Words(params_.inputBandwidth, 2);
    case reg::kRunTime:
      return Words(static_cast<uint32_t>(std::min(runSeconds_, 4294967295.0)), 2);
    case reg::kTravelTotal: return Words(static_cast<uint64_t>(travelPulses_), 4);
    default: return std::nullopt;
  }
}

uint8_t DriveModel::Read(uint16_t address, uint16_t count,
                         std::vector<uint16_t>& words) const {
  words.clear();
  if (count == 0 || count > 125) return kExIllegalValue;
  if (const BlockSpec* b = FindBlock(address); b != nullptr && b->count == count) {
    words = *Block(address);
    return 0;
  }
  for (uint32_t a = address; a < uint32_t{address} + count; ++a) {
    const auto v = a <= 0xFFFF ? Single(static_cast<uint16_t>(a)) : std::nullopt;
    if (!v) {
      words.clear();
      return kExIllegalAddress;
    }
    words.push_back(*v);
  }
  return 0;
}

uint8_t DriveModel::WriteSingle(uint16_t address, uint16_t value) {
  const SingleSpec* s = FindSingle(address);
  if (s == nullptr || !s->writable) return kExIllegalAddress;
  switch (address) {
    case reg::kControlWord: Command(value); break;
    case reg::kDriveConfig: params_.driveConfig = value; break;
    case reg::kDriveCurrent: params_.driveCurrent = value; break;
    case reg::kCurrentReduction: params_.currentReduction = value; break;
    case reg::kReductionDelay: params_.reductionDelay = value; break;
    case reg::kRunSpeed: params_.runSpeed = value; break;
    case reg::kStartSpeed: params_.startSpeed = value; break;
    case reg::kCommFilter: params_.commFilter = value; break;
    case reg::kSpeedFilter: params_.speedFilter = value; break;
    case reg::kHomingSpeed: params_.homingSpeed = value; break;
    case reg::kHomingFilter: params_.homingFilter = value; break;
    case reg::kDriveNumber: params_.driveNumber = value; break;
    default: return kExIllegalAddress;
  }
  return 0;
}

uint8_t DriveModel::WriteMultiple(uint16_t address, const std::vector<uint16_t>& words) {
  if (words.empty() || words.size() > 123) return kExIllegalValue;
  const auto count = static_cast<uint16_t>(words.size());
  if (const BlockSpec* b = FindBlock(address); b != nullptr && b->count == count) {
    if (!b->writable) return kExIllegalAddress;
    const uint64_t v = FromWords(words);
    switch (address) {
      case reg::kPulseLength: params_.pulseLength = static_cast<uint32_t>(v); break;
      case reg::kTargetPosition: {
        const auto units = static_cast<int32_t>(static_cast<uint32_t>(v));
        target_ = zero_ + units * PulseLength();
        break;
      }
      case reg::kSensorConfig:
        // A drive without configurable levels keeps its fixed (all clear) setting.
        if (config_.sensorLevelsConfigurable) params_.sensorConfig = v;
        break;
      case reg::kInputBandwidth: params_.inputBandwidth = static_cast<uint32_t>(v); break;
      default: return kExIllegalAddress;
    }
    return 0;
  }
  for (uint32_t a = address; a < uint32_t{address} + count; ++a) {
    const SingleSpec* s = a <= 0xFFFF ? FindSingle(static_cast<uint16_t>(a)) : nullptr;
    if (s == nullptr || !s->writable) return kExIllegalAddress;
  }
  for (uint16_t i = 0; i < count; ++i) WriteSingle(static_cast<uint16_t>(address + i), words[i]);
  return 0;
}

bool DriveModel::Set(uint16_t address, uint64_t value, uint16_t count) {
  if (count == 1) {
    const auto v = static_cast<uint16_t>(value);
    switch (address) {
      case reg::kErrorCode: errorCode_ = v; return true;
      case reg::kMaxCurrent: config_.maxCurrent = v; return true;
      case reg::kMinCurrent: config_.minCurrent = v; return true;
      case reg::kInPositionTime: config_.inPositionTime = v; return true;
      case reg::kSpeedFactor: config_.speedCoefficient = v; return true;
      case reg::kCpuTemperature: config_.cpuTemperature = v; return true;
      default: return WriteSingle(address, v) == 0;
    }
  }
  const BlockSpec* b = FindBlock(address);
  if (b == nullptr || b->count != count) return false;
  switch (address) {
    case reg::kDriveModel: config_.driveModel = static_cast<uint32_t>(value >> 32); return true;
    case reg::kPulsesPerTooth: config_.pulsesPerTooth = static_cast<uint32_t>(value); return true;
    case reg::kDeviationAlarm: config_.deviationAlarm = static_cast<uint32_t>(value); return true;
    case reg::kInPositionWindow:
      config_.inPositionWindow = static_cast<uint32_t>(value);
      return true;
    case reg::kMotorTeeth: config_.motorTeeth = static_cast<uint16_t>(value >> 48); return true;
    case reg::kBusBaudRate: config_.lineBaud = static_cast<uint32_t>(value); return true;
    case reg::kRunTime: runSeconds_ = static_cast<double>(value & 0xFFFFFFFFu); return true;
    case reg::kTravelTotal: travelPulses_ = static_cast<double>(value); return true;
    case reg::kSensorConfig: params_.sensorConfig = value; return true;
    case reg::kActualPosition:
      zero_ = ActualPulses() - static_cast<int32_t>(static_cast<uint32_t>(value)) * PulseLength();
      return true;
    default: return WriteMultiple(address, Words(value, count)) == 0;
  }
}

// Where the profile comes to rest if it decelerates now.
double DriveModel::StopPoint() const {
  const double a = axis_.maxAccel;
  if (velocity_ == 0 || a <= 0) return command_;
  return command_ + velocity_ * std::fabs(velocity_) / (2 * a);
}

void DriveModel::EndMotionAtStopPoint() {
  // A search that met the origin ends there; any other run ends where it can stop,
  // so a following 0x0000 does not run back.
  target_ = originEdge_ ? *originEdge_ : StopPoint();
  originEdge_.reset();
}

void DriveModel::Command(uint16_t value) {
  if (value & ctl::kSave) {
    saved_ = params_;
    ++saveCount_;
    // A stored drive number is the drive's address from now on (after this reply).
    if (params_.driveNumber >= 1 && params_.driveNumber <= 247) {
      slaveAddress_ = static_cast<uint8_t>(params_.driveNumber);
    }
  }
  if (value & ctl::kSetZero) zero_ = ActualPulses();
  const auto motion = static_cast<uint16_t>(value & ~(ctl::kSave | ctl::kSetZero));
  // Store and set-zero alone are one-shot actions: the motion goes on as it was.
  if (motion == 0 && value != ctl::kClear) return;

  const Mode before = mode_;
  const bool running = before == Mode::JogAway || before == Mode::JogToward ||
                       before == Mode::SearchAway || before == Mode::SearchToward;
  if (motion & ctl::kRelease) {
    mode_ = Mode::Released;
    target_ = command_;
    velocity_ = 0;
    accel_ = 0;
    deviation_ = 0;
  } else if (motion & ctl::kStop) {
    if (running) {
      EndMotionAtStopPoint();
      hold_ = target_;
    } else {
      hold_ = before == Mode::Released ? command_ : StopPoint();
    }
    mode_ = Mode::Hold;
  } else if (motion & ctl::kJogAway) {
    mode_ = Mode::JogAway;
  } else if (motion & ctl::kJogToward) {
    mode_ = Mode::JogToward;
  } else if (motion & ctl::kStartOriginSearch) {
    originEdge_.reset();
    mode_ = Mode::SearchToward;
  } else if (motion & ctl::kReverseOriginSearch) {
    originEdge_.reset();
    mode_ = Mode::SearchAway;
  } else {
    // 0x0000 (and bits the drive does not know): enable and follow the target.
    if (before == Mode::Released) {
      target_ = command_;
    } else if (running) {
      EndMotionAtStopPoint();
    }
    mode_ = Mode::Follow;
  }
  controlWord_ = value;
}

bool DriveModel::BlockedToward(int direction) const {
  if (!LimitMode() || direction == 0) return false;
  return direction > 0 ? InputActive(SimSensorId::NearLimit)
                       : InputActive(SimSensorId::FarLimit);
}

void DriveModel::RampTo(double velocity, double dt) {
  const double a = axis_.maxAccel;
  const double dv = std::clamp(velocity - velocity_, -a * dt, a * dt);
  const double v0 = velocity_;
  velocity_ += dv;
  if (std::fabs(velocity_) < 1e-9) velocity_ = 0;
  accel_ = dv / dt;
  command_ += (v0 + velocity_) / 2 * dt;
}

// Trapezoidal profile that lands exactly on `goal` with zero speed.
void DriveModel::ProfileTo(double goal, double vmax, double dt) {
  const double a = axis_.maxAccel;
  const double d = goal - command_;
  if (d == 0 && velocity_ == 0) {
    accel_ = 0;
    return;
  }
  // Fastest speed toward the goal after this step from which braking at `a` still
  // stops on it: v1^2/2a + v1*dt/2 <= |d| - v0*dt/2 (exact for the trapezoid steps).
  const double sign = d < 0 ? -1.0 : 1.0;
  const double v0 = velocity_;
  const double room = std::fabs(d) - v0 * sign * dt / 2;
  const double reach =
      room > 0 ? a * (-dt / 2 + std::sqrt(dt * dt / 4 + 2 * room / a)) : 0.0;
  const double want = sign * std::min(vmax, reach);
  const double v1 = v0 + std::clamp(want - v0, -a * dt, a * dt);
  const double step = (v0 + v1) / 2 * dt;
  const bool arrives = d == 0 ? std::fabs(v1) <= a * dt : step / d >= 1.0 - 1e-9;
  if (arrives && std::fabs(v1) <= 3 * a * dt) {
    accel_ = -v0 / dt;
    command_ = goal;
    velocity_ = 0;
    return;
  }
  accel_ = (v1 - v0) / dt;
  velocity_ = v1;
  command_ += step;
}

void DriveModel::Advance(double seconds) {
  while (seconds > 1e-12) {
    const double dt = std::min(seconds, kStep);
    seconds -= dt;
    const double before = command_;
    const double run = SpeedUnitsToPulsesPerSecond(params_.runSpeed);
    const double homing = params_.homingSpeed != 0
                              ? SpeedUnitsToPulsesPerSecond(params_.homingSpeed)
                              : run;
    switch (mode_) {
      case Mode::Released:
        velocity_ = 0;
        accel_ = 0;
        break;
      case Mode::Follow: {
        const int dir = velocity_ != 0 ? (velocity_ > 0 ? 1 : -1)
                                       : (target_ > command_ ? 1 : (target_ < command_ ? -1 : 0));
        if (BlockedToward(dir)) {
          const double stop = StopPoint();
          if ((dir > 0 && target_ > stop) || (dir < 0 && target_ < stop)) target_ = stop;
        }
        ProfileTo(target_, run, dt);
        break;
      }
      case Mode::Hold: ProfileTo(hold_, run, dt); break;
      case Mode::JogAway:
      case Mode::JogToward: {
        const int dir = mode_ == Mode::JogToward ? 1 : -1;
        RampTo(BlockedToward(dir) ? 0.0 : dir * run, dt);
        break;
      }
      case Mode::SearchAway:
      case Mode::SearchToward: {
        const int dir = mode_ == Mode::SearchToward ? 1 : -1;
        if (!originEdge_ && InputActive(SimSensorId::Origin)) originEdge_ = ActualPulses();
        if (originEdge_) {
          ProfileTo(*originEdge_, homing, dt);
        } else {
          RampTo(BlockedToward(dir) ? 0.0 : dir * homing, dt);
        }
        break;
      }
    }
    deviation_ = velocity_ == 0 ? 0.0 : accel_ * axis_.deviationPerAccel;
    if (mode_ != Mode::Released) runSeconds_ += dt;
    travelPulses_ += std::fabs(command_ - before);
    standstillMs_ = velocity_ != 0 ? 0.0 : standstillMs_ + dt * 1000;
  }
}

}  // namespace dd
