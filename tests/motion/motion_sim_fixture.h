// A session wired to a small, fast simulated axis with the polling worker running and
// the motion and stop handlers installed, for jog, move and homing tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/session.h"
#include "sim/sim_drive.h"
#include "tests/support/headless_ui.h"

namespace dd::test {

// One revolution of the test axis in position units (50 x 1024 pulses / 128).
inline constexpr double kRev = 400;
inline constexpr uint16_t kRunSpeedUnits = 128;     // 150 rpm: 1000 units/s
inline constexpr uint16_t kHomingSpeedUnits = 1024; // 1200 rpm
inline constexpr uint16_t kHomingFilterValue = 6;

class MotionSimTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the drive with `config` (derived fixtures may edit it first), the polling
  // worker and the handlers.
  void StartDrive();
  // Keeps the UI thread's event loop running until `done` or the deadline.
  bool Eventually(const std::function<bool()>& done, int timeoutMs = 8000);
  bool WorkersDown(int remaining, int timeoutMs = 10000);
  // Polling has seen the present inputs and speed (two full cycles).
  void SettlePolling();

  void Click(Control control) { session.events.Dispatch(control, UiEvent::Click); }
  // Values written to the control word, oldest first, since the last ClearLog.
  std::vector<uint16_t> ControlWrites() const;
  int CountWrites(uint8_t function, uint16_t reg) const;
  // True when the drive holds a jog or search command.
  bool MotionCommandStanding() const;

  SimConfig config;
  HeadlessUi ui;
  Session session{ui};
  std::unique_ptr<SimDrive> sim;
};

}  // namespace dd::test
