// A session with the whole window declared, the parameter handlers installed and a
// simulated drive on a pseudo-terminal as its port.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/control.h"
#include "app/session.h"
#include "app/shell_handlers.h"
#include "link/serial_port.h"
#include "params/parameter_handlers.h"
#include "sim/sim_drive.h"
#include "tests/support/headless_ui.h"
#include "ui/window_layout.h"

namespace dd::test {

// The edits of a typical save and the registers they must end in.
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

class ParamsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    DefineControls(session.controls);
    InstallShellHandlers(session);
    InstallParameterHandlers(session);
  }

  void TearDown() override {
    session.state.StopPolling = true;
    WaitForWorkers(session);
    SerialHandle port = session.state.PortHandle.exchange(0);
    if (port != 0) ClosePort(port);
    if (sim) sim->Stop();
  }

  // Starts the drive and opens it as communication does (caption, epoch, handle).
  void Open(SimConfig config = {}) {
    sim = std::make_unique<SimDrive>(config);
    ASSERT_TRUE(sim->Start());
    const SerialHandle port = OpenPortByPath(sim->DevicePath(), static_cast<int32_t>(config.lineBaud), 8, 0, 2);
    ASSERT_NE(port, 0);
    session.state.PortHandle = port;
    ++session.state.ConnectionEpoch;
    session.state.StopPolling = false;
    session.controls.SetText(Control::OpenCloseButton, kCaptionClose);
  }

  // Connection sequence as its one-shot timer runs it.
  void Connect(SimConfig config = {}) {
    Open(config);
    session.ConnectionSequence();
  }

  bool Connected() const {
    return session.controls.Enabled(Control::MotionPanel) && session.state.WorkerCount.load() > 0;
  }

  std::string Field(Control field) const { return session.controls.Text(field); }
  bool Shown(Control control) const { return session.controls.Visible(control); }

  HeadlessUi ui;
  Session session{ui};
  std::unique_ptr<SimDrive> sim;
};

}  // namespace dd::test
