// A soak of the whole program against the simulated drive under a mix of line faults,
// while the drive's state changes and the operator clicks: the shown values are
// checked against what the drive held, and closing must end every worker. Also the
// wire-time figures of the simulated line, for the benchmarks.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sim/sim_drive.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/headless_program.h"

namespace dd::test {

// A simulated drive linked as COM1 in a private port directory, and the headless program.
struct SimProgram {
  explicit SimProgram(SimConfig config = {}) : sim(config), baud(config.lineBaud) {}
  // Starts the drive, loads the window, picks COM1 and the drive's rate and opens.
  bool Connect();
  PortDirectory ports;
  SimDrive sim;
  uint32_t baud;
  HeadlessProgram program;
};

// Runs `onTimeout` if the returned thread is still alive after `limit` (its destructor
// ends it): a last resort against a run that would otherwise hang the test.
std::jthread Watchdog(std::chrono::milliseconds limit, std::function<void()> onTimeout);

// Wire time of one transaction as the simulator models it: request and reply at 11 bits
// a character, with the turnaround between them (at least the 3.5-character silence).
double TransactionWireSeconds(std::size_t requestBytes, std::size_t replyBytes, uint32_t baud,
                              double turnaroundMs);
// Wire-time floor of one polling cycle: the nine reads of the status worker.
double PollingCycleLimitSeconds(uint32_t baud, double turnaroundMs);
// Sum of the wire times of the logged exchanges (silent requests count only their request).
double LoggedWireSeconds(const std::vector<SimLogEntry>& log, uint32_t baud, double turnaroundMs);

struct SoakOptions {
  std::chrono::milliseconds duration{15000};
  uint32_t baud = 115200;
  bool wireRealism = true;
  // Chance per request of each fault, by SimFault.
  std::array<double, kSimFaultKinds> faults{};
  uint64_t seed = 1;
};

// The default mix: dropped replies, bad CRC, short, split and late replies, exceptions.
std::array<double, kSimFaultKinds> DefaultFaultMix();

struct SoakResult {
  bool connected = false;
  bool closedInTime = false;
  int32_t workersAfterClose = -1;
  uint64_t requests = 0;
  uint64_t faultedReplies = 0;
  uint64_t checks = 0;
  uint64_t clicks = 0;
  int stalledSeconds = 0;           // seconds in which polling made no request
  // A shown number that no polled register of the drive ever held.
  std::vector<std::string> inventedValues;
  // A shown number the drive held, but in another polled register (a late reply read
  // as the answer to a later request of the same length).
  uint64_t crossAttributed = 0;
  uint64_t reads = 0, failedReads = 0;  // read attempts, and those the master could not use
  std::vector<std::string> messages;  // boxes the program showed
};

SoakResult RunFaultSoak(const SoakOptions& options);

}  // namespace dd::test
