#include "tests/motion/motion_sim_fixture.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "link/serial_port.h"
#include "motion/motion_handlers.h"
#include "status/drive_state_commands.h"
#include "status/sample_history.h"
#include "status/status_worker.h"

namespace dd::test {

void MotionSimTest::SetUp() {
  config.runSpeed = kRunSpeedUnits;
  config.homingSpeed = kHomingSpeedUnits;
  config.homingFilter = kHomingFilterValue;
  // Short axis; stiff enough that stops land within a few units.
  config.axis.nearLimit.position = 1600;
  config.axis.farLimit.position = -1600;
  config.axis.origin.position = 400;
  config.axis.originWidth = 100;
  config.axis.startPosition = 0;
  config.axis.maxAccel = 1e6;
  config.axis.deviationPerAccel = 0;

  for (const Control lamp : {Control::FarLimitLamp, Control::NearLimitLamp, Control::WaitingLamp, Control::MovingLamp, Control::OriginLamp}) {
    session.controls.Define(lamp, ControlState{});
  }
  ControlState command9;
  command9.text = "脱机";
  session.controls.Define(Control::EnableButton, command9);
  session.controls.Define(Control::HomingButton, ControlState{});
  ControlState combo5;
  combo5.items = {{"脉冲", 0}, {"圈", 1}};
  combo5.comboIndex = 0;
  session.controls.Define(Control::MoveUnitList, combo5);
  session.controls.Define(Control::MoveDistanceField, ControlState{});
  ControlState perRev;
  perRev.text = "400";
  session.controls.Define(Control::UnitsPerRevField, perRev);
}

void MotionSimTest::StartDrive() {
  sim = std::make_unique<SimDrive>(config);
  ASSERT_TRUE(sim->Start());
  const SerialHandle port =
      OpenPortByPath(sim->DevicePath(), static_cast<int32_t>(config.lineBaud), 8, 0, 2);
  ASSERT_NE(port, 0);
  SharedState& st = session.state;
  st.PortHandle = port;
  st.DriveAddress = 1;
  st.StopPolling = false;
  // What the connection sequence derives from this drive.
  const double pulsesPerRev = 50.0 * config.pulsesPerTooth;
  st.SpeedCoefficient = config.speedCoefficient;
  st.PulsesPerRev = pulsesPerRev;
  st.PulseLength = config.pulseLength;
  const double rpmPerUnit = config.speedCoefficient * 60000.0 / pulsesPerRev;
  st.RunSpeedRpm = config.runSpeed * rpmPerUnit;
  st.HomingSpeedRpm = static_cast<int32_t>(config.homingSpeed * rpmPerUnit);
  st.HomingFilter = config.homingFilter;
  st.DriveVariant = 0;
  st.LimitInputMode = (config.driveConfig & 0x000F) == 0x0008;
  st.MotorEnabled = sim->Enabled();
  st.HomingIdle = true;
  st.AbortRequested = false;

  session.samples = std::make_shared<SampleHistory>();
  InstallDriveStateHandlers(session);
  InstallMotionHandlers(session);
  StartStatusWorker(session);
  SettlePolling();
}

void MotionSimTest::TearDown() {
  session.state.StopPolling = true;
  // A homing run left behind is ended the operator's way.
  if (!session.state.HomingIdle) Click(Control::StopButton);
  if (!Eventually([&] { return session.state.WorkerCount.load() == 0; }, 30000)) {
    // Destroying the session under a running worker would only hide this behind a crash.
    std::fprintf(stderr, "workers still running at the end of the test\n");
    std::abort();
  }
  SerialHandle port = session.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  if (sim) sim->Stop();
}

bool MotionSimTest::Eventually(const std::function<bool()>& done, int timeoutMs) {
  return ui.RunUntil(done, timeoutMs);
}

bool MotionSimTest::WorkersDown(int remaining, int timeoutMs) {
  return Eventually([&] { return session.state.WorkerCount.load() <= remaining; }, timeoutMs);
}

void MotionSimTest::SettlePolling() {
  const uint64_t start = sim->RequestCount();
  ASSERT_TRUE(Eventually([&] { return sim->RequestCount() >= start + 20; }, 15000))
      << "polling made " << sim->RequestCount() - start << " requests";
}

std::vector<uint16_t> MotionSimTest::ControlWrites() const {
  std::vector<uint16_t> values;
  for (const auto& e : sim->Log()) {
    if (e.function == 6 && e.reg == 0x0000) values.push_back(static_cast<uint16_t>(e.value));
  }
  return values;
}

int MotionSimTest::CountWrites(uint8_t function, uint16_t reg) const {
  int n = 0;
  for (const auto& e : sim->Log()) {
    if (e.function == function && e.reg == reg) ++n;
  }
  return n;
}

bool MotionSimTest::MotionCommandStanding() const {
  const uint16_t word = sim->ControlWord();
  return (word & (0x0010 | 0x0020 | 0x0400 | 0x0800)) != 0;
}

}  // namespace dd::test
