#include "tests/support/sim_session.h"

#include <cstdio>
#include <cstdlib>

#include "link/serial_port.h"
#include "motion/motion_handlers.h"
#include "status/drive_state_commands.h"
#include "status/sample_history.h"
#include "status/status_worker.h"
#include "ui/window_layout.h"

namespace dd::test {

SimSessionTest::SimSessionTest() { DefineControls(session.controls); }

void SimSessionTest::StartDrive(bool derive) {
  sim = std::make_unique<SimDrive>(config);
  ASSERT_TRUE(sim->Start());
  const SerialHandle port =
      OpenPortByPath(sim->DevicePath(), static_cast<int32_t>(config.lineBaud), 8, 0, 2);
  ASSERT_NE(port, 0);
  SharedState& st = session.state;
  st.PortHandle = port;
  ++st.ConnectionEpoch;
  st.StopPolling = false;
  session.controls.SetText(Control::OpenCloseButton, "关闭通信");
  if (!derive) return;
  const double pulsesPerRev =
      static_cast<double>(config.motorTeeth == 0 ? 50 : config.motorTeeth) * config.pulsesPerTooth;
  const double rpmPerUnit = config.speedCoefficient * 60000.0 / pulsesPerRev;
  st.DriveAddress = 1;
  st.SpeedCoefficient = config.speedCoefficient;
  st.PulsesPerRev = pulsesPerRev;
  st.PulseLength = config.pulseLength;
  st.RunSpeedRpm = config.runSpeed * rpmPerUnit;
  st.HomingSpeedRpm = static_cast<int32_t>(config.homingSpeed * rpmPerUnit);
  st.HomingFilter = config.homingFilter;
  st.DriveVariant = config.driveModel / 1000000 % 10 == 1 ? 1 : 0;
  st.LimitInputMode = (config.driveConfig & 0x000F) == 0x0008;
  st.MotorEnabled = sim->Enabled();
  st.HomingIdle = true;
  ControlModel& c = session.controls;
  c.SetText(Control::EnableButton, sim->Enabled() ? "脱机" : "使能");
  c.SetComboIndex(Control::MoveUnitList, 0);
  c.SetText(Control::UnitsPerRevField, std::to_string(static_cast<int64_t>(pulsesPerRev / config.pulseLength)));
  for (const Control lamp : {Control::FarLimitLamp, Control::NearLimitLamp, Control::OriginLamp}) {
    c.SetVisible(lamp, st.LimitInputMode.load());
  }
}

void SimSessionTest::RestartDrive() {
  StopWorkers();
  SerialHandle port = session.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  sim->Stop();
  StartDrive();
}

void SimSessionTest::StartMotion() {
  ASSERT_NO_FATAL_FAILURE(sim ? RestartDrive() : StartDrive());
  if (!session.samples) {
    InstallDriveStateHandlers(session);
    InstallMotionHandlers(session);
  }
  session.samples = std::make_shared<SampleHistory>();
  StartStatusWorker(session);
  WaitRequests(20);  // polling has seen the present inputs and speed
}

void SimSessionTest::TearDown() {
  session.state.StopPolling = true;
  if (!session.state.HomingIdle) Click(Control::StopButton);
  if (!WorkersDown(0, 30000)) {
    // Destroying the session under a running worker would only hide this behind a crash.
    std::fprintf(stderr, "workers still running at the end of the test\n");
    std::abort();
  }
  SerialHandle port = session.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  if (sim) sim->Stop();
}

void SimSessionTest::StopWorkers() {
  session.state.StopPolling = true;
  // A cycle against a silent drive lasts seconds; the bound only guards against a hang.
  EXPECT_TRUE(WorkersDown(0, 30000)) << "workers still running";
}

bool SimSessionTest::Eventually(const std::function<bool()>& done, int timeoutMs) {
  return ui.RunUntil(done, timeoutMs);
}

bool SimSessionTest::WorkersDown(int remaining, int timeoutMs) {
  return Eventually([&] { return session.state.WorkerCount.load() <= remaining; }, timeoutMs);
}

void SimSessionTest::WaitRequests(uint64_t n, int timeoutMs) {
  const uint64_t target = sim->RequestCount() + n;
  ASSERT_TRUE(Eventually([&] { return sim->RequestCount() >= target; }, timeoutMs));
}

void SimSessionTest::SetDriveTarget(double position) {
  const auto raw = static_cast<uint32_t>(static_cast<int32_t>(position));
  ASSERT_TRUE(sim->WriteRegisters(0x002E, {static_cast<uint16_t>(raw >> 16),
                                           static_cast<uint16_t>(raw & 0xFFFF)}));
}

int SimSessionTest::CountWrites(uint8_t function, uint16_t reg, std::optional<uint64_t> value) const {
  int n = 0;
  for (const auto& e : sim->Log()) {
    if (e.outcome != SimOutcome::Ignored && e.function == function && e.reg == reg &&
        (!value || e.value == *value)) {
      ++n;
    }
  }
  return n;
}

std::vector<uint64_t> SimSessionTest::ControlWrites() const {
  std::vector<uint64_t> values;
  for (const auto& e : sim->Log()) {
    if (e.outcome == SimOutcome::Ignored) continue;  // frames run together on a starved line
    if (e.function == 6 && e.reg == 0x0000 && (values.empty() || values.back() != e.value)) {
      values.push_back(e.value);
    }
  }
  return values;
}

}  // namespace dd::test
