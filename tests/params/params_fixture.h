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
