// The edits of a typical save and the registers they must end in, and a session with the
// parameter handlers on a simulated drive.
#pragma once

#include "app/control.h"
#include "app/shell_handlers.h"
#include "params/parameter_handlers.h"
#include "tests/support/sim_session.h"

namespace dd::test {

inline void EditGrid(ControlModel& c) {
  c.SetText(Control::DriveCurrentField, "1.255");
  c.SetText(Control::CurrentReductionField, "60");
  c.SetText(Control::ReductionDelayField, "1000");
  c.SetText(Control::RunSpeedField, "100.4");
  c.SetText(Control::HomingSpeedField, "50");
  c.SetText(Control::StartSpeedField, "30");
  c.SetText(Control::CommFilterField, "7");
  c.SetText(Control::SpeedFilterField, "9");
  c.SetText(Control::HomingFilterField, "11");
  c.SetText(Control::PulseLengthField, "256");
  c.SetText(Control::InputBandwidthField, "150000");
  c.SetComboIndex(Control::WorkModeList, 1);
  c.SetChecked(Control::MotorReversedCheck, false);
  c.SetChecked(Control::StartReleasedCheck, true);
  c.SetChecked(Control::AppReversedCheck, false);
  c.SetComboIndex(Control::OriginLevelList, 1);
  c.SetComboIndex(Control::LimitLevelList, 1);
}

inline void ExpectEditedValuesInDrive(const SimDrive& sim) {
  EXPECT_EQ(sim.Register(0x0008), 0x2004);
  EXPECT_EQ(sim.Value(0x0090), 150000u);
  EXPECT_EQ(sim.Register(0x0013), 60);
  EXPECT_EQ(sim.Register(0x0014), 1000);
  EXPECT_EQ(sim.Register(0x0012), 125);
  EXPECT_EQ(sim.Register(0x0040), 85);
  EXPECT_EQ(sim.Register(0x0046), 43);
  EXPECT_EQ(sim.Register(0x0041), 26);
  EXPECT_EQ(sim.Register(0x0042), 7);
  EXPECT_EQ(sim.Register(0x0044), 9);
  EXPECT_EQ(sim.Register(0x0047), 11);
  EXPECT_EQ(sim.Value(0x002A), 256u);
  EXPECT_EQ(sim.Value(0x0084), 0x300B0000u);
  EXPECT_EQ(sim.Register(0x0061), 1);
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
