// A session with the whole window declared, the parameter handlers installed and a
// simulated drive on a pseudo-terminal as its port.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/control_names.h"
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
  c.SetText(Text2(0), "1.255");
  c.SetText(Text2(1), "60");
  c.SetText(Text2(2), "1000");
  c.SetText(Text2(4), "100.4");
  c.SetText(Text2(17), "50");
  c.SetText(Text2(5), "30");
  c.SetText(Text2(6), "7");
  c.SetText(Text2(22), "9");
  c.SetText(Text2(23), "11");
  c.SetText(Text2(9), "256");
  c.SetText(Text2(14), "150000");
  c.SetComboIndex("Combo3", 1);
  c.SetChecked("Check1", false);
  c.SetChecked("Check2", true);
  c.SetChecked("Check3", false);
  c.SetComboIndex("Combo6", 1);
  c.SetComboIndex("Combo7", 1);
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
    session.controls.SetText("Command1", kCaptionClose);
  }

  // Connection sequence as Timer1 runs it.
  void Connect(SimConfig config = {}) {
    Open(config);
    session.ConnectionSequence();
  }

  bool Connected() const {
    return session.controls.Enabled("Picture1") && session.state.WorkerCount.load() > 0;
  }

  std::string Field(int i) const { return session.controls.Text(Text2(i)); }
  bool Shown(const std::string& control) const { return session.controls.Visible(control); }

  HeadlessUi ui;
  Session session{ui};
  std::unique_ptr<SimDrive> sim;
};

}  // namespace dd::test
