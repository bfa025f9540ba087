// The edits of a typical save and the registers they must end in, and a session with the
// parameter handlers on a simulated drive.
#pragma once

#include <utility>

#include "app/control.h"
#include "app/shell_handlers.h"
#include "params/parameter_handlers.h"
#include "tests/support/sim_session.h"

namespace dd::test {

inline void EditGrid(ControlModel& c) {
  using C = Control;
  const std::pair<C, const char*> texts[] = {
      {C::DriveCurrentField, "1.255"}, {C::CurrentReductionField, "60"}, {C::ReductionDelayField, "1000"},
      {C::RunSpeedField, "100.4"}, {C::HomingSpeedField, "50"}, {C::StartSpeedField, "30"}, {C::CommFilterField, "7"},
      {C::SpeedFilterField, "9"}, {C::HomingFilterField, "11"}, {C::PulseLengthField, "256"},
      {C::InputBandwidthField, "150000"}};
  for (const auto& [field, text] : texts) c.SetText(field, text);
  for (const C list : {C::WorkModeList, C::OriginLevelList, C::LimitLevelList}) c.SetComboIndex(list, 1);
  for (const C check : {C::MotorReversedCheck, C::StartReleasedCheck, C::AppReversedCheck})
    c.SetChecked(check, check == C::StartReleasedCheck);
}

// Registers and the values the edits must leave in them; the wide ones hold 32 bits.
inline void ExpectEditedValuesInDrive(const SimDrive& sim) {
  const std::pair<uint16_t, uint64_t> values[] = {
      {0x0008, 0x2004}, {0x0090, 150000}, {0x0013, 60}, {0x0014, 1000}, {0x0012, 125}, {0x0040, 85}, {0x0046, 43},
      {0x0041, 26}, {0x0042, 7}, {0x0044, 9}, {0x0047, 11}, {0x002A, 256}, {0x0084, 0x300B0000}, {0x0061, 1}};
  for (const auto& [reg, value] : values) {
    const bool wide = reg == 0x0090 || reg == 0x002A || reg == 0x0084;
    EXPECT_EQ(wide ? sim.Value(reg).value_or(~0ull) : sim.Register(reg).value_or(0xFFFF), value) << std::hex << reg;
  }
}

// The shell and parameter handlers on the shared simulator session.
class ParamsFixture : public SimSessionTest {
 protected:
  void SetUp() override {
    InstallShellHandlers(session);
    InstallParameterHandlers(session);
  }
  // A fresh drive with `c`, opened as communication does; a connection before is closed
  // the operator's way, which empties the panel.
  void Open(SimConfig c = {}) {
    if (Text(Control::OpenCloseButton) == kCaptionClose) Click(Control::OpenCloseButton);
    if (sim) sim->Stop();
    config = c;
    ui.ClearMessages();
    ASSERT_NO_FATAL_FAILURE(StartDrive(false));
  }
  // Connection sequence as its one-shot timer runs it.
  void Connect(SimConfig c = {}) {
    Open(c);
    session.ConnectionSequence();
  }
  bool Connected() const {
    return session.controls.Enabled(Control::MotionPanel) && session.state.WorkerCount.load() > 0;
  }
  bool Shown(Control control) const { return session.controls.Visible(control); }
};

}  // namespace dd::test
