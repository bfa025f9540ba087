#include "tests/status/status_test_fixture.h"

#include <thread>

#include "link/serial_port.h"

namespace dd::test {

void SimSessionTest::SetUp() {
  // The start states of the controls the status display and the commands use: lamps
  // shown as in "下限+上限" mode, unit labels hidden until a value arrives.
  for (const Control lamp : {Control::FarLimitLamp, Control::NearLimitLamp, Control::WaitingLamp, Control::MovingLamp, Control::OriginLamp}) {
    ControlState state;
    state.color = kButtonFace;
    session.controls.Define(lamp, state);
  }
  for (const Control label : {Control::LiveCurrentUnit, Control::LiveSpeedUnit, Control::TravelUnit}) {
    ControlState state;
    state.visible = false;
    session.controls.Define(label, state);
  }
  ControlState command9;
  command9.text = "使能";
  session.controls.Define(Control::EnableButton, command9);
  if (startInSetUp) StartDrive();
}

void SimSessionTest::StartDrive() {
  sim = std::make_unique<SimDrive>(config);
  ASSERT_TRUE(sim->Start());
  const SerialHandle port =
      OpenPortByPath(sim->DevicePath(), static_cast<int32_t>(config.lineBaud), 8, 0, 2);
  ASSERT_NE(port, 0);
  SharedState& st = session.state;
  st.PortHandle.store(port);
  st.DriveAddress.store(1);
  st.StopPolling.store(false);
  // What the connection sequence derives from the simulator's defaults: 50 teeth x 1024
  // pulses per revolution, pulse length 128, coefficient 1, configuration 0x0008.
  st.SpeedCoefficient.store(config.speedCoefficient);
  st.PulsesPerRev.store(static_cast<double>(config.motorTeeth == 0 ? 50 : config.motorTeeth) *
                        config.pulsesPerTooth);
  st.PulseLength.store(config.pulseLength);
  st.DriveVariant.store(config.driveModel / 1000000 % 10 == 1 ? 1 : 0);
  st.LimitInputMode.store((config.driveConfig & 0x000F) == 0x0008);
  st.MotorEnabled.store(sim->Enabled());
  st.HomingIdle.store(true);
}

void SimSessionTest::TearDown() {
  StopWorkers();
  SerialHandle port = session.state.PortHandle.exchange(0);
  if (port != 0) ClosePort(port);
  if (sim) sim->Stop();
}

void SimSessionTest::StopWorkers() {
  session.state.StopPolling.store(true);
  // A cycle against a silent drive lasts seconds; the bound only guards against a hang.
  EXPECT_TRUE(WorkersDown(0, 30000)) << "workers still running";
}

bool SimSessionTest::Eventually(const std::function<bool()>& done, int timeoutMs) {
  return sim->WaitFor(done, std::chrono::milliseconds(timeoutMs));
}

bool SimSessionTest::WorkersDown(int remaining, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (session.state.WorkerCount.load() > remaining) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void SimSessionTest::SetDriveTarget(double position) {
  const auto raw = static_cast<uint32_t>(static_cast<int32_t>(position));
  ASSERT_TRUE(sim->WriteRegisters(0x002E, {static_cast<uint16_t>(raw >> 16),
                                           static_cast<uint16_t>(raw & 0xFFFF)}));
}

int SimSessionTest::TargetWrites(const std::vector<SimLogEntry>& log) {
  int n = 0;
  for (const auto& e : log) {
    if (e.outcome != SimOutcome::Ignored && e.function == 16 && e.reg == 0x002E) ++n;
  }
  return n;
}

}  // namespace dd::test
