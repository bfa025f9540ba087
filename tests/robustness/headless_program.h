// The headless program (tests/support/headless_program.h) against a simulated drive
// linked as a COM port: a private port directory and the wire-time figures. Shared by
// the robustness tests and the benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_drive.h"
#include "tests/support/headless_program.h"

namespace dd::test {

// A private port directory for one run (DRIVEDESK_PORT_DIR, defaults off); removed
// with the object. Only one may exist at a time in a process.
class PortDirectory {
 public:
  PortDirectory();
  ~PortDirectory();
  PortDirectory(const PortDirectory&) = delete;
  PortDirectory& operator=(const PortDirectory&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Wire time of one transaction as the simulator models it: request and reply at 11 bits
// a character, with the turnaround between them (at least the 3.5-character silence).
double TransactionWireSeconds(std::size_t requestBytes, std::size_t replyBytes, uint32_t baud,
                              double turnaroundMs);
// Wire-time floor of one polling cycle: the nine reads of the status worker.
double PollingCycleLimitSeconds(uint32_t baud, double turnaroundMs);
// Sum of the wire times of the logged exchanges (silent requests count only their request).
double LoggedWireSeconds(const std::vector<SimLogEntry>& log, uint32_t baud, double turnaroundMs);

}  // namespace dd::test
