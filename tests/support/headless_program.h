// The whole program without a window: every handler installed on a session with a
// headless window system, driven the way an operator drives the window (load, pick
// port and baud rate, open, close). Free of the simulator and of POSIX, so the Windows
// tests drive the same program under Wine.
#pragma once

#include <cstdint>

#include "app/session.h"
#include "tests/support/headless_ui.h"

namespace dd::test {

class HeadlessProgram {
 public:
  HeadlessProgram();  // the constructing thread is the UI thread
  ~HeadlessProgram();  // closes the window (waits for the workers) if still open
  HeadlessProgram(const HeadlessProgram&) = delete;
  HeadlessProgram& operator=(const HeadlessProgram&) = delete;

  // Main window load: defaults and port discovery.
  void Load() { session.events.Dispatch(Control::MainWindow, UiEvent::Load); }
  // Picks COMn and the baud rate as the operator would; false if either is not listed.
  bool Pick(int com, uint32_t baud);
  // Clicks the connect button while it reads "开启通信" and waits until the panels are
  // enabled and polling runs; false on time-out or a message.
  bool Open(int timeoutMs = 20000);
  // Clicks the connect button while it reads "关闭通信" (waits for every worker).
  void CloseCommunication();
  // Main window close: waits for every worker, closes the port and the bus lock.
  void CloseWindow();
  bool Polling() const;  // connected, panels enabled, a worker running

  HeadlessUi ui;
  Session session{ui};

 private:
  bool closed_ = false;
};

}  // namespace dd::test
