#include "params/save_parameters.h"

#include <cmath>
#include <limits>
#include <string>

#include "app/control_names.h"
#include "app/number_text.h"
#include "link/drive_commands.h"
#include "params/connection_sequence.h"
#include "params/field_table.h"
#include "params/field_validation.h"

namespace dd {
namespace {

constexpr int kWriteAttempts = 11;
constexpr int kRetryDelayMs = 5;
constexpr int kStoreSettleMs = 2000;

constexpr double kU16Max = 65535.0;
constexpr double kU32Max = 4294967295.0;

struct WriteSource {
  ParameterWrite write;
  int field;  // Text2 index, -1 for the composed values
  double max; // largest value the register's encoding takes
};

// Order of the writes and the field each one takes its value from.
constexpr WriteSource kWriteOrder[] = {
    {ParameterWrite::DriveConfig, -1, kU16Max},
    {ParameterWrite::InputBandwidth, 14, kU32Max},
    {ParameterWrite::DriveNumber, 15, kU16Max},
    {ParameterWrite::CurrentReduction, 1, kU16Max},
    {ParameterWrite::ReductionDelay, 2, kU16Max},
    {ParameterWrite::DriveCurrent, 0, kU16Max},
    {ParameterWrite::RunSpeed, 4, kU16Max},
    {ParameterWrite::HomingSpeed, 17, kU16Max},
    {ParameterWrite::StartSpeed, 5, kU16Max},
    {ParameterWrite::CommFilter, 6, kU16Max},
    {ParameterWrite::SpeedFilter, 22, kU16Max},
    {ParameterWrite::HomingFilter, 23, kU16Max},
    {ParameterWrite::PulseLength, 9, kU32Max},
    {ParameterWrite::SensorConfig, -1, kU32Max},
};

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

CommandResult Send(ParameterWrite write, double value, SerialHandle p, uint16_t a) {
  const auto word = static_cast<int32_t>(value);
  switch (write) {
    case ParameterWrite::DriveConfig: return WriteDriveConfig(p, a, word);
    case ParameterWrite::InputBandwidth: return WriteInputBandwidth(p, a, value);
    case ParameterWrite::DriveNumber: return WriteDriveNumber(p, a, word);
    case ParameterWrite::CurrentReduction: return WriteCurrentReduction(p, a, word);
    case ParameterWrite::ReductionDelay: return WriteReductionDelay(p, a, word);
    case ParameterWrite::DriveCurrent: return WriteDriveCurrent(p, a, word);
    case ParameterWrite::RunSpeed: return WriteRunSpeed(p, a, word);
    case ParameterWrite::HomingSpeed: return WriteHomingSpeed(p, a, word);
    case ParameterWrite::StartSpeed: return WriteStartSpeed(p, a, word);
    case ParameterWrite::CommFilter: return WriteCommFilter(p, a, word);
    case ParameterWrite::SpeedFilter: return WriteSpeedFilter(p, a, word);
    case ParameterWrite::HomingFilter: return WriteHomingFilter(p, a, word);
    case ParameterWrite::PulseLength: return WritePulseLength(p, a, value);
    case ParameterWrite::SensorConfig: return WriteSensorConfig(p, a, value);
  }
  return kValueOutOfRange;
}

// One save on one opened port. A close of the window while it waits takes the port
// away; the save then stops without touching the port again.
class Save {
 public:
  explicit Save(Session& s)
      : s_(s), epoch_(s.state.ConnectionEpoch.load()), port_(s.state.PortHandle.load()) {}

  void Run();

 private:
  bool Lost() const {
    return port_ == 0 || s_.state.ConnectionEpoch.load() != epoch_ ||
           s_.state.PortHandle.load() != port_;
  }
  void DisableWorkerControls();
  void WaitForQuietBus();
  void DarkenLiveDisplay();
  void WriteAll(const std::vector<PlannedWrite>& plan);
  void EmptyPanel();
  void ReadAgainLater();

  Session& s_;
  const uint32_t epoch_;
  const SerialHandle port_;
};

void Save::DisableWorkerControls() {
  // Before the wait for the workers: nothing may start a worker that would share the
  // bus with the save. (The wait for motion comes first, so "中断" still works there.)
  for (const char* control : {"Picture1", "Picture2", "Command1", "Command2", "Frame1"}) {
    s_.controls.SetEnabled(control, false);
  }
}

void Save::WaitForQuietBus() {
  auto& st = s_.state;
  while (!Lost() && st.DriveHealthy.load() && (st.MotorMoving.load() || !st.HomingIdle.load())) {
    DelayMs(s_, 1);
  }
  if (Lost()) return;
  DisableWorkerControls();
  st.StopPolling = true;
  WaitForWorkers(s_);
}

void Save::DarkenLiveDisplay() {
  auto& c = s_.controls;
  for (int label : {41, 42, 43}) c.SetVisible(Label1(label), false);
  for (const char* lamp : {"Shape2", "Shape3", "Shape6"}) c.SetVisible(lamp, false);
  for (const char* field : {"Text3", "Text4", "Text1"}) c.SetText(field, "");
  for (int i = 2; i <= 6; ++i) c.SetColor("Shape" + std::to_string(i), kButtonFace);
}

void Save::WriteAll(const std::vector<PlannedWrite>& plan) {
  for (const PlannedWrite& w : plan) {
    if (!w.value) continue;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
      if (Lost()) return;
      if (Send(w.write, *w.value, port_, s_.state.DriveAddress.load()) == 0) break;
      DelayMs(s_, kRetryDelayMs);
    }
  }
}

void Save::EmptyPanel() {
  auto& c = s_.controls;
  for (const FieldSpec& f : FieldTable()) c.SetText(Text2(f.index), "");
  for (const FieldSpec& f : FieldTable()) {
    if (f.unitLabel >= 0) c.SetVisible(Label1(f.unitLabel), false);
  }
  for (const char* box : {"Check1", "Check2", "Check3"}) c.SetChecked(box, false);
  for (const char* list : {"Combo3", "Combo4", "Combo5"}) c.SetComboIndex(list, -1);
}

void Save::ReadAgainLater() {
  Session* s = &s_;
  const uint32_t epoch = epoch_;
  const SerialHandle port = port_;
  // Timer1: the re-read runs from the event loop, unless communication changed meanwhile.
  s_.ui.PostDelayed(10, [s, epoch, port] {
    if (s->state.ConnectionEpoch.load() != epoch || s->state.PortHandle.load() != port) return;
    if (s->ConnectionSequence) {
      s->ConnectionSequence();
    } else {
      RunConnectionSequence(*s);
    }
  });
}

void Save::Run() {
  if (Lost()) return;
  const auto run = ReadFieldNumber(s_.controls.Text(Text2(4)));
  const auto homing = ReadFieldNumber(s_.controls.Text(Text2(17)));
  if (run && homing && *homing >= *run) {
    s_.Message(MessageIcon::Error, kSpeedOrderTitle, kSpeedOrderText);
    return;
  }
  // The waits process window events: a second click on "保存修改" meanwhile is ignored.
  static bool saving = false;
  if (saving) return;
  saving = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{saving};
  WaitForQuietBus();
  if (Lost()) return;
  DarkenLiveDisplay();
  WriteAll(PlanParameterWrites(s_.controls, s_.state.SpeedCoefficient.load(),
                               s_.state.PulsesPerRev.load()));
  if (Lost()) return;
  EmptyPanel();
  SaveParameters(port_, s_.state.DriveAddress.load());
  DelayMs(s_, kStoreSettleMs);
  if (Lost()) return;
  s_.state.StopPolling = false;
  ReadAgainLater();
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
  const bool levelsShown = controls.Visible("Combo6") && controls.Visible("Combo7");
  std::vector<PlannedWrite> plan;
  for (const WriteSource& source : kWriteOrder) {
    std::optional<double> value;
    if (source.write == ParameterWrite::DriveConfig) {
      const int32_t mode = controls.ComboData("Combo3", -1);
      if (mode >= 0) {
        value = ComposeDriveConfig(controls.Checked("Check1"), controls.Checked("Check2"),
                                   controls.Checked("Check3"), mode);
      }
    } else if (source.write == ParameterWrite::SensorConfig) {
      if (!levelsShown) continue;
      value = ComposeSensorConfig(controls.ComboIndex("Combo6"), controls.ComboIndex("Combo7"));
    } else {
      const FieldSpec& f = FieldAt(source.field);
      value = FieldValue(f, controls.Text(Text2(source.field)), rpmPerUnit);
      if (value && f.save == SaveConversion::Int16 && *value > 32767.0) value.reset();
    }
    if (value && (*value < 0 || *value > source.max)) value.reset();
    plan.push_back({source.write, value});
  }
  return plan;
}

void SaveParameterSet(Session& session) { Save(session).Run(); }

}  // namespace dd
