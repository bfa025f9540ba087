// A soak of the whole program against the simulated drive under a mix of line faults,
// while the drive's state changes and the operator clicks: the shown values are
// checked against what the drive held, and closing must end every worker.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_config.h"

namespace dd::test {

struct SoakOptions {
  std::chrono::milliseconds duration{15000};
  uint32_t baud = 115200;
  bool wireRealism = true;
  // Chance per request of each fault, by SimFault.
  std::array<double, kSimFaultKinds> faults{};
  uint64_t seed = 1;
  bool clickCommands = true;  // set-zero and enable/release workers beside polling
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
