// Requests to end the program that come from outside the window, brought to the UI
// thread: on Linux SIGTERM, SIGINT and SIGHUP (shutdown_requests_linux.cpp). Another
// platform adds its console and session events in a file of its own. A second
// signal while the first one is being handled ends the process at once.
#pragma once

#include <functional>
#include <memory>

namespace dd {

class ShutdownRequests {
 public:
  // UI thread, after the QApplication exists. `onRequest` runs on the UI thread, from
  // the event loop (also from a nested one, such as a message box's).
  explicit ShutdownRequests(std::function<void()> onRequest);
  ~ShutdownRequests();
  ShutdownRequests(const ShutdownRequests&) = delete;
  ShutdownRequests& operator=(const ShutdownRequests&) = delete;

 private:
  struct Platform;
  std::unique_ptr<Platform> platform_;
};

}  // namespace dd
