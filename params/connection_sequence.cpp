#include "params/connection_sequence.h"

#include <cmath>
#include <string>

#include "app/bus_log.h"
#include "app/number_text.h"
#include "link/drive_commands.h"
#include "params/field_table.h"
#include "params/field_validation.h"
#include "params/parameter_restore.h"
#include "status/status_worker.h"

namespace dd {
namespace {

constexpr int kReadAttempts = 10;
constexpr int kRetryDelayMs = 5;

bool Bit(int32_t value, int bit) { return ((static_cast<uint32_t>(value) >> bit) & 1u) != 0; }

// One run of the sequence on one opened port. A close (or a new open) in the middle
// changes the epoch or the handle; from then on nothing touches the port or the window.
class Sequence {
 public:
  explicit Sequence(Session& s)
      : s_(s), epoch_(s.state.ConnectionEpoch.load()), port_(s.state.PortHandle.load()) {}

  void Run();

 private:
  bool Lost() const {
    return s_.state.ConnectionEpoch.load() != epoch_ || s_.state.PortHandle.load() != port_ ||
           port_ == 0;
  }

  // Up to `attempts` tries with DelayMs after each failure; never once the port is gone.
  template <typename Op>
  bool Attempt(int attempts, Op&& op) {
    for (int i = 0; i < attempts; ++i) {
      if (Lost()) return false;
      if (op(port_, s_.state.DriveAddress.load()) == 0) return true;
      DelayMs(s_, kRetryDelayMs);
    }
    return false;
  }
  template <typename T, typename Read>
  bool ReadValue(Read read, T& value) {
    return Attempt(kReadAttempts, [&](SerialHandle p, uint16_t a) { return read(p, a, value); });
  }

  // Fatal: message; the caller then ends the sequence.
  void Fatal(const char* text) {
    if (Lost()) return;
    s_.Message(MessageIcon::Error, kFatalTitle, text);
  }
  void Notice(const char* text) {
    if (Lost()) return;
    s_.Message(MessageIcon::Information, kNoticeTitle, text);
  }

  void Show(Control field, const std::string& text) {
    s_.controls.SetText(field, text);
    ShowUnit(field, true);
  }
  void Clear(Control field) {
    if (Lost()) return;  // a newer connection may own the grid by now
    s_.controls.SetText(field, "");
    ShowUnit(field, false);
  }
  void ShowUnit(Control field, bool shown) {
    const FieldSpec* row = FindField(field);
    if (row != nullptr && row->unit) s_.controls.SetVisible(*row->unit, shown);
  }
  void Select(Control list, int index) {
    s_.controls.SetComboIndex(list, index);
    s_.events.Dispatch(list, UiEvent::Click);
  }

  bool ReadScaling();
  void DetectSensorLevels();
  void ReadCurrents();
  void ReadSpeeds();
  void ReadFiltersAndWindows();
  void ReadStates();

  Session& s_;
  const uint32_t epoch_;
  const SerialHandle port_;
  double rpmPerUnit_ = 0;
};

bool Sequence::ReadScaling() {
  auto& st = s_.state;
  double model = 0;
  if (ReadValue(ReadDriveModel, model)) {
    st.DriveVariant = DriveVariantFromModel(model, st.DriveVariant.load());
  }
  if (Lost()) return false;

  // A coefficient of 0 or one whose product with 60000 leaves 32 bits cannot scale
  // speeds: treated like a failed read.
  int32_t coefficient = 0;
  if (!ReadValue(ReadSpeedFactor, coefficient) || !RpmPerSpeedUnit(coefficient, 1.0)) {
    Fatal("获取到错误的速度系数，请重新启动程序！");
    return false;
  }
  st.SpeedCoefficient = coefficient;

  int32_t teeth = 0;
  if (!ReadValue(ReadMotorTeeth, teeth) || teeth < 0 || teeth > 32767) {
    Fatal("获取到错误的电机齿数，请重新启动程序！");
    return false;
  }
  st.MotorTeeth = static_cast<int16_t>(teeth);

  double perTooth = 0;
  const bool perToothRead = ReadValue(ReadPulsesPerTooth, perTooth);
  const double pulsesPerRev = (teeth == 0 ? 50.0 : static_cast<double>(teeth)) * perTooth;
  if (!perToothRead || !(pulsesPerRev > 0)) {
    if (Lost()) return false;
    st.PulsesPerRev = 0.0;
    ProgramBusLog().SetUnits({coefficient, 0.0});
    Fatal("获取到错误的圈脉冲数，请重新启动程序！");
    return false;
  }
  st.PulsesPerRev = pulsesPerRev;
  ProgramBusLog().SetUnits({coefficient, pulsesPerRev});
  Show(Control::PulsesPerRevField, Grouped(pulsesPerRev));
  rpmPerUnit_ = *RpmPerSpeedUnit(coefficient, pulsesPerRev);

  double pulseLength = 0;
  if (!ReadValue(ReadPulseLength, pulseLength) || !(pulseLength > 0)) {
    if (Lost()) return false;
    st.PulseLength = 0.0;
    Fatal("获取到错误的脉冲长度，请重新启动程序！");
    return false;
  }
  st.PulseLength = pulseLength;
  Show(Control::PulseLengthField, Grouped(pulseLength));
  Show(Control::UnitsPerRevField, PlainDecimal(pulsesPerRev / pulseLength));

  int32_t driveNumber = 0;
  if (!ReadValue(ReadDriveNumber, driveNumber)) {
    Fatal("获取到错误的驱动器号，请重新启动程序！");
    return false;
  }
  Show(Control::DriveNumberField, PlainDecimal(driveNumber));

  double baud = 0;
  if (!ReadValue(ReadBusBaudRate, baud)) {
    Fatal("获取到错误的总线通信速率，请重新启动程序！");
    return false;
  }
  const auto rates = s_.controls.Items(Control::DriveBaudList);
  for (std::size_t i = 0; i < rates.size(); ++i) {
    const auto rate = ParseNumber(rates[i].text);
    if (rate && *rate == baud) {
      Select(Control::DriveBaudList, static_cast<int>(i));
      break;
    }
  }

  double bandwidth = 0;
  if (ReadValue(ReadInputBandwidth, bandwidth)) {
    Show(Control::InputBandwidthField, Grouped(bandwidth));
  } else {
    Clear(Control::InputBandwidthField);
    Notice("未能正确读取输入带宽");
  }
  return !Lost();
}

void Sequence::DetectSensorLevels() {
  auto& st = s_.state;
  st.SensorLevelSupported = false;
  const BusAccess bus{port_, st.DriveAddress.load(), [this](int ms) { DelayMs(s_, ms); },
                      [this] { return Lost(); }};
  st.SensorLevelSupported = SensorLevelsConfigurable(bus).value_or(false);
  if (Lost()) return;

  const bool supported = st.SensorLevelSupported.load();
  for (const Control control : {Control::OriginLevelList, Control::LimitLevelList,
                                Control::OriginLevelCaption, Control::LimitLevelCaption}) {
    s_.controls.SetVisible(control, supported);
  }
  if (!supported) return;

  int32_t sensor = 0;
  if (!ReadValue(ReadSensorConfig, sensor)) {
    if (Lost()) return;
    s_.controls.SetComboIndex(Control::OriginLevelList, -1);
    s_.controls.SetComboIndex(Control::LimitLevelList, -1);
    Notice("未能正确读取传感器有效状态参数");
    return;
  }
  const bool limitsOff = !Bit(sensor, 13) && !Bit(sensor, 12);
  if (Bit(sensor, 29) && Bit(sensor, 28) && limitsOff) {
    Select(Control::LimitLevelList, 1);
  } else if (!Bit(sensor, 29) && !Bit(sensor, 28) && limitsOff) {
    Select(Control::LimitLevelList, 0);
  }
  if (!Bit(sensor, 4)) Select(Control::OriginLevelList, Bit(sensor, 19) ? 1 : 0);
}

void Sequence::ReadCurrents() {
  auto& st = s_.state;
  // The bounds are 16-bit signed; a register above 32767 is held at the top.
  const auto bound = [](int32_t v) { return static_cast<int16_t>(v > 32767 ? 32767 : v); };
  int32_t value = 0;
  if (ReadValue(ReadMaxCurrent, value)) {
    st.MaxCurrent = bound(value);
  } else {
    Notice("未能正确读取最大电流");
  }
  if (Lost()) return;
  if (ReadValue(ReadMinCurrent, value)) {
    st.MinCurrent = bound(value);
  } else {
    Notice("未能正确读取最小电流");
  }
  if (Lost()) return;
  if (ReadValue(ReadDriveCurrent, value)) {
    Show(Control::DriveCurrentField, FixedDecimals(value / 100.0, 2));
  } else {
    Clear(Control::DriveCurrentField);
    Notice("未能正确读取设定电流");
  }
  if (Lost()) return;
  if (ReadValue(ReadCurrentReduction, value)) {
    Show(Control::CurrentReductionField, PlainDecimal(value));
  } else {
    Clear(Control::CurrentReductionField);
    Notice("未能正确读取电流下降比例");
  }
  if (Lost()) return;
  if (ReadValue(ReadReductionDelay, value)) {
    Show(Control::ReductionDelayField, Grouped(value));
  } else {
    Clear(Control::ReductionDelayField);
    Notice("未能正确读取电流下降等待时间");
  }
}

void Sequence::ReadSpeeds() {
  auto& st = s_.state;
  int32_t v = 0;
  if (ReadValue(ReadRunSpeed, v)) {
    const double rpm = rpmPerUnit_ * v;
    st.RunSpeedRpm = rpm;
    Show(Control::RunSpeedField, PlainDecimal(rpm));
  } else {
    if (Lost()) return;
    st.RunSpeedRpm = 0.0;
    Clear(Control::RunSpeedField);
  }
  if (ReadValue(ReadHomingSpeed, v)) {
    const auto rpm = static_cast<int32_t>(RoundHalfEven(rpmPerUnit_ * v));
    st.HomingSpeedRpm = rpm;
    Show(Control::HomingSpeedField, PlainDecimal(rpm));
  } else {
    if (Lost()) return;
    st.HomingSpeedRpm = 0;
    Clear(Control::HomingSpeedField);
  }
  if (ReadValue(ReadStartSpeed, v)) {
    Show(Control::StartSpeedField, PlainDecimal(rpmPerUnit_ * v));
  } else {
    Clear(Control::StartSpeedField);
  }
}

void Sequence::ReadFiltersAndWindows() {
  int32_t v = 0;
  if (ReadValue(ReadCommFilter, v)) {
    Show(Control::CommFilterField, PlainDecimal(v));
  } else {
    Clear(Control::CommFilterField);
  }
  if (ReadValue(ReadSpeedFilter, v)) {
    Show(Control::SpeedFilterField, PlainDecimal(v));
  } else {
    Clear(Control::SpeedFilterField);
  }
  if (ReadValue(ReadHomingFilter, v)) {
    s_.state.HomingFilter = v;
    Show(Control::HomingFilterField, PlainDecimal(v));
  } else {
    if (Lost()) return;
    s_.state.HomingFilter = 0;
    Clear(Control::HomingFilterField);
  }
  double d = 0;
  if (ReadValue(ReadDeviationAlarm, d)) {
    Show(Control::DeviationAlarmField, PlainDecimal(d));
  } else {
    Clear(Control::DeviationAlarmField);
  }
  if (ReadValue(ReadInPositionWindow, d)) {
    Show(Control::InPositionWindowField, PlainDecimal(d));
  } else {
    Clear(Control::InPositionWindowField);
  }
  if (ReadValue(ReadInPositionTime, v)) {
    Show(Control::InPositionTimeField, PlainDecimal(v));
  } else {
    Clear(Control::InPositionTimeField);
  }
  if (ReadValue(ReadCpuTemperature, v) && v >= -40 && v <= 125) {
    Show(Control::CpuTemperatureField, PlainDecimal(v));
  } else {
    Clear(Control::CpuTemperatureField);
  }
}

void Sequence::ReadStates() {
  auto& st = s_.state;
  auto& c = s_.controls;
  int32_t word = 0;
  if (ReadValue(ReadControlWord, word)) {
    const bool enabled = !Bit(word, 2);
    c.SetText(Control::EnableButton, enabled ? "脱机" : "使能");
    st.MotorEnabled = enabled;
  }
  int32_t config = 0;
  if (!ReadValue(ReadDriveConfig, config)) return;
  switch (config & 0xF) {
    case 0x0:
      Select(Control::WorkModeList, 0);
      st.LimitInputMode = false;
      break;
    case 0x4:
      Select(Control::WorkModeList, 1);
      st.LimitInputMode = false;
      break;
    case 0x8:
      Select(Control::WorkModeList, 2);
      st.LimitInputMode = true;
      for (const Control sensor : {Control::FarLimitCaption, Control::NearLimitCaption,
                                   Control::OriginCaption, Control::FarLimitLamp,
                                   Control::NearLimitLamp, Control::OriginLamp}) {
        c.SetVisible(sensor, true);
      }
      c.SetEnabled(Control::HomingButton, true);
      c.SetEnabled(Control::JogFrame, true);
      break;
    default:
      break;
  }
  c.SetChecked(Control::StartReleasedCheck, Bit(config, 13));
  c.SetChecked(Control::MotorReversedCheck, Bit(config, 14));
  c.SetChecked(Control::AppReversedCheck, Bit(config, 15));
  st.DirectionReversed = Bit(config, 15);
}

void Sequence::Run() {
  if (Lost()) return;
  Select(Control::MoveUnitList, 0);
  if (!ReadScaling()) return;
  DetectSensorLevels();
  if (Lost()) return;
  ReadCurrents();
  if (Lost()) return;
  ReadSpeeds();
  if (Lost()) return;
  ReadFiltersAndWindows();
  if (Lost()) return;
  ReadStates();
  if (Lost()) return;
  if (!s_.controls.Enabled(Control::MotionPanel)) {
    s_.controls.SetEnabled(Control::MotionPanel, true);
    s_.controls.SetEnabled(Control::ParameterPanel, true);
    s_.controls.SetEnabled(Control::OpenCloseButton, true);
  }
  StartStatusWorker(s_);
}

}  // namespace

int32_t DriveVariantFromModel(double model, int32_t current) {
  if (model == 0) return 3;
  const std::string digits = PlainDecimal(model);
  if (digits.size() < 2) return current;
  switch (digits[1]) {
    case '0':
      return 0;
    case '1':
      return 1;
    case '3':
      return 3;
    default:
      return current;
  }
}

void RunConnectionSequence(Session& session) { Sequence(session).Run(); }

}  // namespace dd
