#include "params/save_parameters.h"

#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "app/drive_address.h"
#include "app/number_text.h"
#include "app/orderly_shutdown.h"
#include "link/drive_commands.h"
#include "params/connection_sequence.h"
#include "params/field_table.h"
#include "params/field_validation.h"

namespace dd {
namespace {

// Register value of a field's text by its save conversion; nullopt if there is none.
std::optional<double> FieldValue(const FieldSpec& f, std::string_view text,
                                 std::optional<double> rpmPerUnit) {
  if (f.save == SaveConversion::CurrentHundredths) {
    const auto hundredths = DriveCurrentHundredths(text);
    if (!hundredths) return std::nullopt;
    return *hundredths;
  }
  const auto number = ReadFieldNumber(text);
  if (!number) return std::nullopt;
  switch (f.save) {
    case SaveConversion::Int16:
    case SaveConversion::Int32:
    case SaveConversion::Whole:
      return RoundHalfEven(*number);
    case SaveConversion::RunSpeed:
      if (!rpmPerUnit) return std::nullopt;
      return RoundHalfEven(RoundHalfEven(*number) / *rpmPerUnit);
    case SaveConversion::Speed:
      if (!rpmPerUnit) return std::nullopt;
      return RoundHalfEven(*number / *rpmPerUnit);
    case SaveConversion::NotSaved:
    case SaveConversion::CurrentHundredths:
      break;
  }
  return std::nullopt;
}

// One save on one opened port. A close of the window while it waits takes the port
// away; the save then stops without touching the port again.
class Save {
 public:
  explicit Save(Session& s)
      : s_(s), epoch_(s.state.ConnectionEpoch.load()), port_(s.state.PortHandle.load()) {}

  bool Run(const ExclusiveWrites& steps);

 private:
  bool Lost() const {
    return port_ == 0 || s_.state.ConnectionEpoch.load() != epoch_ ||
           s_.state.PortHandle.load() != port_;
  }
  void DisableWorkerControls();
  void WaitForQuietBus();
  void DarkenLiveDisplay();
  void EmptyPanel();
  void ReadAgainLater(std::function<void()> afterReread);
  BusAccess Bus() {
    return {port_, s_.state.DriveAddress.load(), [this](int ms) { DelayMs(s_, ms); },
            [this] { return Lost(); }};
  }

  Session& s_;
  const uint32_t epoch_;
  const SerialHandle port_;
};

void Save::DisableWorkerControls() {
  // Before the wait for the workers: nothing may start a worker that would share the
  // bus with the save. (The wait for motion comes first, so "中断" still works there.)
  for (const Control control : {Control::MotionPanel, Control::ParameterPanel,
                                Control::OpenCloseButton, Control::HomingButton,
                                Control::JogFrame}) {
    s_.controls.SetEnabled(control, false);
  }
}

void Save::WaitForQuietBus() {
  auto& st = s_.state;
  // A healthy drive ends its motion; a silent one reports nothing (see below).
  while (!Lost() && st.DriveHealthy.load() && !st.DriveSilent.load() &&
         (st.MotorMoving.load() || !st.HomingIdle.load())) {
    DelayMs(s_, 1);
  }
  if (Lost()) return;
  DisableWorkerControls();
  // A faulted drive is not waited for, but a run that watches the inputs would wait
  // for ever once polling stops: what still moves is stopped as "中断" stops it, and
  // polling goes on until those workers have ended. On a healthy drive a move clicked
  // just before (polling has not shown it yet) runs to its end; a held jog never ends.
  if ((!st.DriveHealthy.load() || st.JogHeld.load()) && MotionRunning(s_)) StopRunningMotion(s_);
  WaitForMotionWorkers(s_);
  st.StopPolling = true;
  WaitForWorkers(s_);
}

void Save::DarkenLiveDisplay() {
  auto& c = s_.controls;
  for (const Control sensor : {Control::FarLimitCaption, Control::NearLimitCaption,
                               Control::OriginCaption, Control::FarLimitLamp,
                               Control::NearLimitLamp, Control::OriginLamp}) {
    c.SetVisible(sensor, false);
  }
  for (const Control field : {Control::ActualPositionField, Control::TargetPositionField,
                              Control::PositionDeviationField}) {
    c.SetText(field, "");
  }
  for (const Control lamp : kMotionLamps) c.SetColor(lamp, kButtonFace);
}

void Save::EmptyPanel() {
  auto& c = s_.controls;
  for (const FieldSpec& f : FieldTable()) c.SetText(f.field, "");
  for (const FieldSpec& f : FieldTable()) {
    if (f.unit) c.SetVisible(*f.unit, false);
  }
  for (const Control box : {Control::MotorReversedCheck, Control::StartReleasedCheck,
                            Control::AppReversedCheck}) {
    c.SetChecked(box, false);
  }
  for (const Control list : {Control::WorkModeList, Control::DriveBaudList, Control::MoveUnitList}) {
    c.SetComboIndex(list, -1);
  }
}

void Save::ReadAgainLater(std::function<void()> afterReread) {
  Session* s = &s_;
  const uint32_t epoch = epoch_;
  const SerialHandle port = port_;
  // One-shot timer: the re-read runs from the event loop, unless communication changed
  // meanwhile.
  s_.ui.PostDelayed(10, [s, epoch, port, afterReread = std::move(afterReread)] {
    if (s->state.ConnectionEpoch.load() != epoch || s->state.PortHandle.load() != port) return;
    if (s->ConnectionSequence) {
      s->ConnectionSequence();
    } else {
      RunConnectionSequence(*s);
    }
    if (afterReread) afterReread();
  });
}

bool Save::Run(const ExclusiveWrites& steps) {
  if (Lost()) return false;
  // The waits process window events: a second click on "保存修改" (or a restore)
  // meanwhile is ignored.
  static bool saving = false;
  if (saving) return false;
  saving = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{saving};
  WaitForQuietBus();
  if (Lost()) return false;
  DarkenLiveDisplay();
  const BusAccess bus = Bus();
  if (steps.write) steps.write(bus);
  if (Lost()) return false;
  EmptyPanel();
  if (steps.store) steps.store(bus);
  if (Lost()) return false;
  s_.state.StopPolling = false;
  ReadAgainLater(steps.afterReread);
  return true;
}

}  // namespace

int32_t ComposeDriveConfig(bool motorReversed, bool startReleased, bool appReversed,
                           int32_t mode) {
  return 32 * (startReleased ? 1 : 0) + 64 * (motorReversed ? 1 : 0) +
         128 * (appReversed ? 1 : 0) + 256 * mode;
}

int32_t ComposeSensorConfig(int originLevelIndex, int limitLevelIndex) {
  int32_t value = 0;
  if (originLevelIndex == 1) value |= 0x00080000;
  if (limitLevelIndex == 1) value |= 0x30030000;
  return value;
}

std::optional<int32_t> DriveCurrentHundredths(std::string_view text) {
  const auto amperes = ReadFieldNumber(text);
  if (!amperes || std::fabs(*amperes) > std::numeric_limits<float>::max()) return std::nullopt;
  // Single precision first: 1.255 is held as 1.25499999..., so it becomes 125.
  const double hundredths = RoundHalfEven(static_cast<double>(static_cast<float>(*amperes)) * 100.0);
  if (hundredths < std::numeric_limits<int32_t>::min() ||
      hundredths > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(hundredths);
}

std::vector<PlannedWrite> PlanParameterWrites(const ControlModel& controls,
                                              int32_t speedCoefficient, double pulsesPerRev) {
  const auto rpmPerUnit = RpmPerSpeedUnit(speedCoefficient, pulsesPerRev);
  const bool levelsShown =
      controls.Visible(Control::OriginLevelList) && controls.Visible(Control::LimitLevelList);
  std::vector<PlannedWrite> plan;
  for (const ParameterInfo& source : ParameterTable()) {
    std::optional<double> value;
    if (source.write == ParameterWrite::DriveConfig) {
      const int32_t mode = controls.ComboData(Control::WorkModeList, -1);
      if (mode >= 0) {
        value = ComposeDriveConfig(controls.Checked(Control::MotorReversedCheck),
                                   controls.Checked(Control::StartReleasedCheck),
                                   controls.Checked(Control::AppReversedCheck), mode);
      }
    } else if (source.write == ParameterWrite::SensorConfig) {
      if (!levelsShown) continue;
      value = ComposeSensorConfig(controls.ComboIndex(Control::OriginLevelList),
                                  controls.ComboIndex(Control::LimitLevelList));
    } else {
      const FieldSpec& f = *FindField(*source.field);
      value = FieldValue(f, controls.Text(*source.field), rpmPerUnit);
      if (value && f.save == SaveConversion::Int16 && *value > 32767.0) value.reset();
    }
    if (value && (*value < 0 || *value > source.max)) value.reset();
    plan.push_back({source.write, value});
  }
  return plan;
}

bool RunLikeSave(Session& session, const ExclusiveWrites& steps) {
  return Save(session).Run(steps);
}

void SaveParameterSet(Session& session) {
  if (session.state.PortHandle.load() == 0) return;
  const auto run = ReadFieldNumber(session.controls.Text(Control::RunSpeedField));
  const auto homing = ReadFieldNumber(session.controls.Text(Control::HomingSpeedField));
  if (run && homing && *homing >= *run) {
    session.Message(MessageIcon::Error, kSpeedOrderTitle, kSpeedOrderText);
    return;
  }
  Session* s = &session;
  // A new drive number the drive took: it answers there once it has stored it.
  auto newNumber = std::make_shared<std::optional<uint16_t>>();
  ExclusiveWrites steps;
  steps.write = [s, newNumber](const BusAccess& bus) {
    for (const PlannedWrite& w : PlanParameterWrites(s->controls, s->state.SpeedCoefficient.load(),
                                                     s->state.PulsesPerRev.load())) {
      if (w.value && WriteWithSaveRetry(bus, w.write, *w.value) &&
          w.write == ParameterWrite::DriveNumber && *w.value >= 1 && *w.value <= 247 &&
          *w.value != bus.address) {
        *newNumber = static_cast<uint16_t>(*w.value);
      }
      if (bus.Lost()) return;
    }
  };
  steps.store = [s, newNumber](const BusAccess& bus) {
    SaveParameters(bus.port, bus.address);  // sent once, its result not examined
    DelayMs(*s, kStoreSettleMs);
    if (*newNumber && AnsweringAddress(bus, **newNumber) == **newNumber) {
      TakeRenumberedAddress(*s, **newNumber);
    }
  };
  RunLikeSave(session, steps);
}

void TakeRenumberedAddress(Session& session, uint16_t number) {
  UseDriveAddress(session, number);
  session.controls.SetText(Control::StatusText, RenumberedHint(number));
}

std::string RenumberedHint(int number) {
  return "驱动器号已改为 " + std::to_string(number) + "：此后与驱动器地址 " +
         std::to_string(number) + " 通信；";
}

}  // namespace dd
