// A session wired to a simulated drive on a pseudo-terminal, with the connection-time
// values a drive in "下限+上限" mode gives, for the polling and command tests.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "app/session.h"
#include "sim/sim_drive.h"
#include "tests/support/headless_ui.h"

namespace dd::test {

class SimSessionTest : public ::testing::Test {
 protected:
  // Derived fixtures may change `config` before calling StartDrive (SetUp starts the
  // drive with the defaults unless `startInSetUp` is cleared).
  void SetUp() override;
  void TearDown() override;

  void StartDrive();
  // Ends every worker (StopPolling, then WorkerCount 0), with a deadline.
  void StopWorkers();
  // Waits for `done` with a deadline, re-checking after each served frame and often.
  bool Eventually(const std::function<bool()>& done, int timeoutMs = 5000);
  // Waits until only `remaining` workers are left.
  bool WorkersDown(int remaining, int timeoutMs = 10000);

  // Target register (0x002E) as the drive holds it, written as the master would.
  void SetDriveTarget(double position);
  // Count of log entries that are function 16 writes to 0x002E.
  static int TargetWrites(const std::vector<SimLogEntry>& log);

  bool startInSetUp = true;
  SimConfig config;
  HeadlessUi ui;
  Session session{ui};
  std::unique_ptr<SimDrive> sim;
};

}  // namespace dd::test
