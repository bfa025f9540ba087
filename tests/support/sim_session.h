// A session with the whole window declared and a simulated drive on a pseudo-terminal
// opened as its port: the one fixture of the params, status and motion tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/session.h"
#include "sim/sim_drive.h"
#include "tests/support/headless_ui.h"

namespace dd::test {

// One revolution of the short test axis in position units (50 x 1024 pulses / 128).
inline constexpr double kRev = 400;

// A short, fast axis, stiff enough that stops land within a few units: run speed 150 rpm
// (1000 units/s), homing speed 1200 rpm, homing filter 6, origin one turn in, limits
// at four turns, starting at 0.
inline SimConfig ShortAxis() {
  SimConfig c;
  c.runSpeed = 128;
  c.homingSpeed = 1024;
  c.axis.nearLimit.position = 4 * kRev;
  c.axis.farLimit.position = -4 * kRev;
  c.axis.origin.position = kRev;
  c.axis.originWidth = 100;
  c.axis.maxAccel = 1e6;
  c.axis.deviationPerAccel = 0;
  return c;
}

class SimSessionTest : public ::testing::Test {
 protected:
  SimSessionTest();
  void TearDown() override;  // ends every worker (a homing run the operator's way)

  // Starts the drive with `config` and opens it as communication does (handle, epoch,
  // caption). With `derive`, also stores what the connection sequence derives from it
  // and shows the enable caption, the lamps of the limit mode and the units per turn.
  void StartDrive(bool derive = true);
  // Ends the workers, closes the port and starts the drive anew with `config`.
  void RestartDrive();
  // The drive (anew if one runs), the polling worker and the stop, enable, zero and
  // motion handlers; returns once polling has seen the present inputs.
  void StartMotion();
  void StopWorkers();
  // Runs the UI thread's event loop until `done` or the deadline.
  bool Eventually(const std::function<bool()>& done, int timeoutMs = 10000);
  bool WorkersDown(int remaining, int timeoutMs = 15000);
  void Click(Control control) { session.events.Dispatch(control, UiEvent::Click); }
  std::string Text(Control control) const { return session.controls.Text(control); }
  bool TextIs(Control control, const std::string& text) { return Eventually([&] { return Text(control) == text; }); }
  // Waits for `n` more requests at the drive (nine make a polling cycle).
  void WaitRequests(uint64_t n, int timeoutMs = 20000);

  // The drive's target register, written as the master would.
  void SetDriveTarget(double position);
  // Served requests of `function` to `reg` (with `value` if given) since the last ClearLog.
  int CountWrites(uint8_t function, uint16_t reg, std::optional<uint64_t> value = {}) const;
  // Values written to the control word, oldest first; a retry of one value counted once.
  std::vector<uint64_t> ControlWrites() const;
  bool MotionCommandStanding() const {  // jog or search held by the drive
    return (sim->ControlWord() & (0x0010 | 0x0020 | 0x0400 | 0x0800)) != 0;
  }

  SimConfig config;
  HeadlessUi ui;
  Session session{ui};
  std::unique_ptr<SimDrive> sim;
};

}  // namespace dd::test
