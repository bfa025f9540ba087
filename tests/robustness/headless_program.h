// The whole program without a window: every handler installed on a session with a
// headless window system, driven the way an operator drives the window (load, pick
// port and baud rate, open, close), against a simulated drive linked as a COM port.
// Shared by the robustness tests and the benchmarks.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "sim/sim_drive.h"
#include "tests/support/headless_ui.h"

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

class HeadlessProgram {
 public:
  HeadlessProgram();  // the constructing thread is the UI thread
  ~HeadlessProgram();  // closes the window (waits for the workers) if still open
  HeadlessProgram(const HeadlessProgram&) = delete;
  HeadlessProgram& operator=(const HeadlessProgram&) = delete;

  // Main window load: defaults and port discovery.
  void Load();
  // Picks COMn and the baud rate as the operator would; false if either is not listed.
  bool Pick(int com, uint32_t baud);
  // Clicks the connect button while it reads "开启通信" and waits until the panels are
  // enabled and polling runs; false on time-out or a message.
  bool Open(int timeoutMs = 20000);
  // Clicks the connect button while it reads "关闭通信" (waits for every worker).
  void CloseCommunication();
  // Main window close: waits for every worker, closes the port and the bus lock.
  void CloseWindow();
  bool Connected() const;
  bool Polling() const;  // connected, panels enabled, a worker running

  HeadlessUi ui;
  Session session{ui};

 private:
  bool closed_ = false;
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
